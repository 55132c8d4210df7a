// workspace/Parallel.cpp
#include "Parallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::atomic<int> requested{0};

// True on a thread that is running a chunk: a ParallelFor called from there runs
// its body on that thread, since waiting for the busy pool would never end.
thread_local bool insideChunk = false;

struct ChunkScope {
    bool saved = insideChunk;
    ChunkScope() { insideChunk = true; }
    ~ChunkScope() { insideChunk = saved; }
};

// A fixed set of worker threads that wait for one batch of ranges at a time.
class Pool {
public:
    static Pool& Instance()
    {
        static Pool pool;
        return pool;
    }

    void Run(int chunks, const std::function<void(int)>& chunk)
    {
        std::unique_lock<std::mutex> batchLock(batch_);  // one batch at a time
        {
            std::lock_guard<std::mutex> lock(mutex_);
            EnsureWorkers(chunks - 1);
            job_ = &chunk;
            next_ = 1;  // chunk 0 is the caller's
            total_ = chunks;
            pending_ = chunks - 1;
            ++generation_;
        }
        wake_.notify_all();
        {
            ChunkScope scope;
            chunk(0);
        }
        Drain();
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return pending_ == 0; });
        job_ = nullptr;
    }

    ~Pool()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_)
            t.join();
    }

private:
    void EnsureWorkers(int count)
    {
        while (static_cast<int>(threads_.size()) < count)
            threads_.emplace_back([this] { Work(); });
    }

    // Takes the next chunk of the current batch, if any is left.
    bool TakeOne(int& index, const std::function<void(int)>*& job)
    {
        if (job_ == nullptr || next_ >= total_)
            return false;
        index = next_++;
        job = job_;
        return true;
    }

    void Finish()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (--pending_ == 0)
            done_.notify_all();
    }

    void Drain()
    {
        for (;;) {
            int index;
            const std::function<void(int)>* job;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!TakeOne(index, job))
                    return;
            }
            {
                ChunkScope scope;
                (*job)(index);
            }
            Finish();
        }
    }

    void Work()
    {
        std::uint64_t seen = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_)
                    return;
                seen = generation_;
            }
            Drain();
        }
    }

    std::mutex batch_, mutex_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> threads_;
    const std::function<void(int)>* job_ = nullptr;
    int next_ = 0, total_ = 0, pending_ = 0;
    std::uint64_t generation_ = 0;
    bool stop_ = false;
};

}  // namespace

int WorkerCount()
{
    const int count = requested.load();
    if (count > 0)
        return count;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void SetWorkerCount(int count) { requested.store(std::max(count, 0)); }

void ParallelFor(int begin, int end, int grain, const std::function<void(int lo, int hi)>& body)
{
    if (end <= begin)
        return;
    const long long items = static_cast<long long>(end) - begin;
    grain = std::max(grain, 1);
    const int chunks = static_cast<int>(
        std::min<long long>(WorkerCount(), std::max<long long>(1, items / grain)));
    if (chunks <= 1 || insideChunk) {
        body(begin, end);
        return;
    }
    const std::function<void(int)> chunk = [&](int i) {
        const int lo = static_cast<int>(begin + items * i / chunks);
        const int hi = static_cast<int>(begin + items * (i + 1) / chunks);
        body(lo, hi);
    };
    Pool::Instance().Run(chunks, chunk);
}
