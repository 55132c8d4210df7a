// python/src/Errors.h: how a command that did not run reaches Python, and the
// tables each Python thread runs with.
#pragma once
#include "Command.h"

#include <stdexcept>

// The command refused its input: graybench.Refused (a ValueError).
class Refused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// There was no picture to run on: graybench.NoPicture (a ValueError).
class NoPicture : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// The search was cancelled: graybench.Cancelled. Without a progress callback
// it cannot happen.
class Cancelled : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws the matching error with the command's own message unless it ran.
void RaiseIfNotRun(const CommandReport& report);

// This thread's tables, as each batch worker has its own; silent, since the
// tools' diagnostic lines are not results.
CommandWork& ThreadWork();
