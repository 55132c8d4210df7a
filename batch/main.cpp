// batch/main.cpp: graybench-batch runs a recipe over many pictures, with no
// window and no display.
#include "BatchOptions.h"
#include "BatchResults.h"
#include "BatchRun.h"
#include "ByteNames.h"
#include "TextFiles.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

#ifndef GRAYBENCH_VERSION
#error "GRAYBENCH_VERSION comes from the build"
#endif
#ifndef GRAYBENCH_PYTHONPATH
#error "GRAYBENCH_PYTHONPATH (where the graybench package is) comes from the build"
#endif

extern char** environ;

namespace {

// Progress and error lines share stderr; one writer at a time.
std::mutex stderrMutex;
bool progressBar = false;  // a bar redrawn in place on a terminal

void ReportLine(const std::string& line)
{
    const std::lock_guard lock(stderrMutex);
    std::fprintf(stderr, "%s%s\n", progressBar ? "\r\033[K" : "", line.c_str());
}

void ShowProgress(std::size_t done, std::size_t total, const std::string& picture, bool failed)
{
    const std::lock_guard lock(stderrMutex);
    if (!progressBar) {
        std::fprintf(stderr, "[%zu/%zu] %s %s\n", done, total, picture.c_str(),
                     failed ? "failed" : "ok");
        return;
    }
    constexpr std::size_t kWidth = 30;
    const std::size_t filled = total ? done * kWidth / total : kWidth;
    std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(filled, '#').c_str(),
                 std::string(kWidth - filled, ' ').c_str(), done, total);
    std::fflush(stderr);
}

std::string ReadRecipeText(const std::string& path)
{
    try {
        return ReadTextAtBytes(path);
    } catch (const TextFileError& e) {
        throw UsageError(path + ": " + e.what());
    }
}

// Two pictures with one base name would write the same files in DIR.
void CheckOutputNames(const std::vector<std::string>& pictures)
{
    std::map<std::string, std::string> seen;
    for (const std::string& picture : pictures) {
        const auto [at, added] = seen.emplace(OutputName(picture, ""), picture);
        if (!added && at->second != picture)
            throw UsageError(at->second + " and " + picture +
                             " would write the same pictures in --out");
    }
}

// Debian's interpreter: the one its python3-distributed package serves.
constexpr char kPython[] = "/usr/bin/python3";

// The environment with the graybench package's folders ahead of PYTHONPATH.
std::vector<std::string> ClusterEnvironment()
{
    std::vector<std::string> env;
    std::string path = GRAYBENCH_PYTHONPATH;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "PYTHONPATH=", 11) == 0) {
            if ((*e)[11] != '\0')
                path += std::string(":") + (*e + 11);
        } else {
            env.emplace_back(*e);
        }
    }
    env.push_back("PYTHONPATH=" + path);
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Hands the run to graybench.distributed and returns its exit status. The
// pictures go through a pipe, NUL after each, as this program expanded them.
int RunOnCluster(const BatchOptions& options, const std::vector<std::string>& pictures)
{
    std::vector<std::string> args = ClusterArguments(options);
    args.insert(args.begin(), kPython);
    std::vector<std::string> env = ClusterEnvironment();
    std::vector<char*> argv = Pointers(args), envp = Pointers(env);

    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        std::fprintf(stderr, "graybench-batch: cannot make a pipe: %s\n", std::strerror(errno));
        return 1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    pid_t child = 0;
    const int spawnError =
        posix_spawn(&child, kPython, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[0]);
    if (spawnError != 0) {
        close(pipeEnds[1]);
        std::fprintf(stderr, "graybench-batch: cannot run %s: %s\n", kPython,
                     std::strerror(spawnError));
        return 1;
    }

    // A child that stops reading (it failed early) must not kill us with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    std::string list;
    for (const std::string& picture : pictures)
        list.append(picture).push_back('\0');
    for (std::size_t at = 0; at < list.size();) {
        const ssize_t n = write(pipeEnds[1], list.data() + at, list.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;  // the child's exit status says why
        at += static_cast<std::size_t>(n);
    }
    close(pipeEnds[1]);

    int status = 0;
    while (waitpid(child, &status, 0) < 0)
        if (errno != EINTR) {
            std::fprintf(stderr, "graybench-batch: lost %s: %s\n", kPython,
                         std::strerror(errno));
            return 1;
        }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    std::fprintf(stderr, "graybench-batch: %s ended by signal %d\n", kPython,
                 WTERMSIG(status));
    return 1;
}

int Run(const BatchOptions& options)
{
    Recipe recipe;
    try {
        recipe = ParseRecipe(ReadRecipeText(options.recipe));
    } catch (const RecipeError& e) {
        throw UsageError(options.recipe + ": " + e.what());
    }
    const std::vector<std::string> pictures = ExpandPictures(options.inputs);
    if (!options.outDir.empty()) {
        CheckOutputNames(pictures);
        std::error_code error;
        std::filesystem::create_directories(options.outDir, error);
        if (!std::filesystem::is_directory(options.outDir))
            throw UsageError("cannot make the folder " + options.outDir + ": " +
                             error.message());
    }
    if (!options.scheduler.empty())
        return RunOnCluster(options, pictures);

    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t jobs = std::min<std::size_t>(
        options.jobs ? static_cast<std::size_t>(options.jobs) : processors,
        std::max<std::size_t>(pictures.size(), 1));
    const BatchPictureOptions pictureOptions{options.outDir, options.steps};
    progressBar = isatty(STDERR_FILENO) != 0;

    // Each worker takes the next picture and has tables of its own; outcomes
    // land in input order whatever order the pictures finish in.
    std::vector<PictureOutcome> outcomes(pictures.size());
    std::atomic<std::size_t> next{0};
    std::size_t done = 0, failed = 0;
    std::mutex doneMutex;
    const auto start = std::chrono::steady_clock::now();
    auto worker = [&] {
        const TraceSink silent;  // the tools' diagnostic lines are not results
        CommandWork work(&silent);
        for (std::size_t i; (i = next.fetch_add(1)) < pictures.size();) {
            PictureOutcome outcome = RunPicture(recipe, pictures[i], pictureOptions, work);
            for (const BatchRow& row : outcome.rows)
                if (!row.ok)
                    ReportLine("graybench-batch: " + pictures[i] + ": " + row.message);
            const bool pictureFailed = outcome.Failed();
            outcomes[i] = std::move(outcome);
            const std::lock_guard lock(doneMutex);
            ++done;
            failed += pictureFailed;
            ShowProgress(done, pictures.size(), pictures[i], pictureFailed);
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t k = 1; k < jobs; ++k)
        threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads)
        t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    bool resultsFailed = false;
    if (!options.results.empty()) {
        try {
            WriteTextAtBytes(options.results,
                          options.results.ends_with(".json") ? ResultsJson(outcomes)
                                                             : ResultsCsv(outcomes));
        } catch (const TextFileError& e) {
            ReportLine(std::string("graybench-batch: ") + e.what());
            resultsFailed = true;
        }
    }
    if (progressBar)
        std::fputs("\n", stderr);
    std::fprintf(stderr, "%zu pictures: %zu done, %zu failed, %.2f s, %.1f pictures a second\n",
                 pictures.size(), pictures.size() - failed, failed, seconds,
                 seconds > 0 ? static_cast<double>(pictures.size()) / seconds : 0.0);
    return failed || resultsFailed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        const BatchOptions options = ParseBatchOptions(argc, argv);
        if (options.help) {
            std::fputs(kBatchUsage, stdout);
            return 0;
        }
        if (options.version) {
            std::printf("graybench-batch %s\n", GRAYBENCH_VERSION);
            return 0;
        }
        return Run(options);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "graybench-batch: %s\nTry 'graybench-batch --help'.\n", e.what());
        return 2;
    }
}
