// batch/BatchOptions.cpp
#include "BatchOptions.h"

#include <QImageReader>

#include <glob.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

const char kBatchUsage[] =
    "Usage: graybench-batch RECIPE PICTURE... [--out DIR] [--steps]\n"
    "                       [--results FILE.csv|FILE.json] [--jobs N]\n"
    "                       [--scheduler ADDRESS|local]\n"
    "Runs the recipe on every picture. A PICTURE may be a file, a folder (its\n"
    "picture files, sorted by name) or a pattern such as 'shots/*.png'.\n"
    "  --out DIR        write each picture's final After as NAME.after.png in DIR\n"
    "  --steps          with --out, also write each step's After as NAME.stepN.png\n"
    "  --results FILE   write one row per picture and step, as CSV or JSON\n"
    "  --jobs N         run N pictures at once (default: one per processor); with\n"
    "                   --scheduler local, start N workers\n"
    "  --scheduler ADDRESS\n"
    "                   run the pictures on the workers of the Dask scheduler at\n"
    "                   ADDRESS (tcp://HOST:PORT); 'local' starts a cluster of\n"
    "                   worker processes on this machine for the run\n"
    "  --help, --version\n"
    "Exit status: 0 all pictures done, 1 a picture or step failed, 2 bad usage.\n";

namespace {

int ParseJobs(const std::string& text)
{
    int jobs = 0;
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, jobs);
    if (error != std::errc() || at != end || jobs < 1 || jobs > 1024)
        throw UsageError("--jobs must be a whole number from 1 to 1024, not \"" + text + "\"");
    return jobs;
}

bool HasPictureExtension(const fs::path& path)
{
    // The formats Qt reads in this build, plugins included, in lower case.
    static const std::set<std::string> kExtensions = [] {
        std::set<std::string> extensions;
        for (const QByteArray& format : QImageReader::supportedImageFormats())
            extensions.insert(format.toLower().toStdString());
        return extensions;
    }();
    std::string ext = path.extension().string();
    if (ext.empty())
        return false;
    ext.erase(0, 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return kExtensions.contains(ext);
}

bool IsPattern(const std::string& text)
{
    return text.find_first_of("*?[") != std::string::npos;
}

}  // namespace

BatchOptions ParseBatchOptions(int argc, const char* const* argv)
{
    BatchOptions options;
    std::vector<std::string> positional;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) {
            if (i + 1 >= argc)
                throw UsageError(std::string(name) + " needs a value");
            return std::string(argv[++i]);
        };
        if (optionsEnd || arg.size() < 2 || arg[0] != '-')
            positional.push_back(arg);
        else if (arg == "--")
            optionsEnd = true;
        else if (arg == "--help" || arg == "-h")
            options.help = true;
        else if (arg == "--version")
            options.version = true;
        else if (arg == "--out")
            options.outDir = value("--out");
        else if (arg == "--steps")
            options.steps = true;
        else if (arg == "--results")
            options.results = value("--results");
        else if (arg == "--jobs")
            options.jobs = ParseJobs(value("--jobs"));
        else if (arg == "--scheduler") {
            options.scheduler = value("--scheduler");
            if (options.scheduler.empty())
                throw UsageError("--scheduler needs an address such as tcp://HOST:8786, "
                                 "or local");
        }
        else
            throw UsageError("unknown option \"" + arg + "\"");
    }
    if (options.help || options.version)
        return options;
    if (positional.size() < 2)
        throw UsageError(positional.empty() ? "no recipe and no picture given"
                                            : "no picture given");
    if (options.steps && options.outDir.empty())
        throw UsageError("--steps writes pictures, so it needs --out DIR");
    if (!options.results.empty()) {
        const std::string ext = fs::path(options.results).extension().string();
        if (ext != ".csv" && ext != ".json")
            throw UsageError("--results must name a .csv or .json file, not \"" +
                             options.results + "\"");
    }
    if (options.jobs && !options.scheduler.empty() && options.scheduler != "local")
        throw UsageError("--jobs counts the workers of a local cluster; the workers of "
                         "--scheduler " + options.scheduler + " are started with dask-worker");
    options.recipe = positional.front();
    options.inputs.assign(positional.begin() + 1, positional.end());
    return options;
}

std::vector<std::string> ClusterArguments(const BatchOptions& options)
{
    std::vector<std::string> args = {"-m", "graybench.distributed", "--scheduler",
                                      options.scheduler};
    if (!options.outDir.empty())
        args.insert(args.end(), {"--out", options.outDir});
    if (options.steps)
        args.push_back("--steps");
    if (!options.results.empty())
        args.insert(args.end(), {"--results", options.results});
    if (options.jobs)
        args.insert(args.end(), {"--jobs", std::to_string(options.jobs)});
    // The recipe after "--": a name starting with '-' stays a name.
    args.insert(args.end(), {"--pictures-from", "-", "--", options.recipe});
    return args;
}

std::vector<std::string> ExpandPictures(const std::vector<std::string>& inputs)
{
    std::vector<std::string> pictures;
    for (const std::string& input : inputs) {
        std::error_code error;
        if (fs::is_directory(input, error)) {
            std::vector<std::string> found;
            for (const fs::directory_entry& entry : fs::directory_iterator(input, error))
                if (entry.is_regular_file(error) && HasPictureExtension(entry.path()))
                    found.push_back(entry.path().string());
            std::sort(found.begin(), found.end());  // byte order of the names
            pictures.insert(pictures.end(), found.begin(), found.end());
        } else if (IsPattern(input) && !fs::exists(input, error)) {
            glob_t matches{};
            if (glob(input.c_str(), 0, nullptr, &matches) == 0)
                for (std::size_t k = 0; k < matches.gl_pathc; ++k)
                    pictures.push_back(matches.gl_pathv[k]);  // glob sorts them
            else
                pictures.push_back(input);  // matches nothing: reported as unreadable
            globfree(&matches);
        } else {
            pictures.push_back(input);
        }
    }
    return pictures;
}

std::string OutputName(const std::string& path, const std::string& suffix)
{
    return fs::path(path).stem().string() + suffix;
}
