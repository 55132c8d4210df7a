// commands/WhyNotRun.h
#pragma once
#include "CommandTypes.h"

#include <string>

// Why a command did not run, in words for a message: its own refusal text, or
// what its outcome means ("cancelled", "there is no picture to run on").
std::string WhyNotRun(const CommandReport& report);
