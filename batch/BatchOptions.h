// batch/BatchOptions.h: the command line of graybench-batch.
#pragma once
#include <stdexcept>
#include <string>
#include <vector>

// Bad usage: an unknown option, a missing or malformed value. Exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct BatchOptions {
    std::string recipe;
    std::vector<std::string> inputs;  // pictures, folders and patterns as given
    std::string outDir;               // empty: no pictures are written
    bool steps = false;               // also write every step's After
    std::string results;              // .csv or .json; empty: none
    int jobs = 0;                     // 0: one a processor
    std::string scheduler;            // "local" or a Dask scheduler's address; empty: here
    bool help = false, version = false;
};

// Reads argv[1..argc); throws UsageError naming what is wrong.
BatchOptions ParseBatchOptions(int argc, const char* const* argv);

// The pictures the inputs name, in order: a folder gives its files whose
// extension names a picture format, sorted by name (not recursive); a pattern
// the shell did not expand gives its matches, sorted; anything else is kept as
// it is, so that a missing file becomes an error row rather than vanishing.
std::vector<std::string> ExpandPictures(const std::vector<std::string>& inputs);

// The name of the picture the run writes for path: "dir/parts.png" with suffix
// ".after.png" gives "parts.after.png".
std::string OutputName(const std::string& path, const std::string& suffix);

// The arguments after the interpreter that hand a --scheduler run to the
// graybench.distributed module: the recipe and every option as given, then
// "--pictures-from -" (the expanded pictures follow on standard input, each
// ended by a NUL byte, so no list is too long for a command line).
std::vector<std::string> ClusterArguments(const BatchOptions& options);

extern const char kBatchUsage[];
