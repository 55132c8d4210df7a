// tools/Trace.cpp
#include "Trace.h"

#include <cstdarg>
#include <mutex>
#include <utility>

namespace {

struct DefaultSink {
    std::mutex lock;
    TraceSink sink = TraceSink::ToStandardOutput();
};

// Made on first use, so a sink set by another unit's initialiser is not undone.
DefaultSink& Default()
{
    static DefaultSink instance;
    return instance;
}

void Format(const TraceSink& sink, const char* format, std::va_list args)
{
    char buffer[256];
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (length < 0) {
        va_end(again);
        return;
    }
    if (static_cast<std::size_t>(length) < sizeof buffer) {
        sink.Write(std::string_view(buffer, static_cast<std::size_t>(length)));
    } else {
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, again);
        text.pop_back();
        sink.Write(text);
    }
    va_end(again);
}

}  // namespace

TraceSink TraceSink::ToStandardOutput()
{
    // stdout itself, not the FILE* it is now: a test may reopen it.
    return ToCallback(
        [](std::string_view line) { std::fwrite(line.data(), 1, line.size(), stdout); });
}

TraceSink TraceSink::ToFile(std::FILE* out)
{
    if (out == nullptr)
        return {};
    return ToCallback(
        [out](std::string_view line) { std::fwrite(line.data(), 1, line.size(), out); });
}

TraceSink TraceSink::ToString(std::string& text)
{
    return ToCallback([&text](std::string_view line) { text.append(line); });
}

TraceSink TraceSink::ToCallback(std::function<void(std::string_view line)> write)
{
    TraceSink sink;
    sink.write_ = std::move(write);
    return sink;
}

void SetDefaultTraceSink(TraceSink sink)
{
    DefaultSink& d = Default();
    const std::lock_guard<std::mutex> hold(d.lock);
    d.sink = std::move(sink);
}

void TraceLine(const TraceSink* sink, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    if (sink != nullptr) {
        if (!sink->Silent())
            Format(*sink, format, args);
    } else {
        DefaultSink& d = Default();
        const std::lock_guard<std::mutex> hold(d.lock);
        if (!d.sink.Silent())
            Format(d.sink, format, args);
    }
    va_end(args);
}
