// commands/Command.h: every command behind one type, for the undo history,
// recipes, the batch runner and other callers that hold commands as values.
#pragma once
#include "BrightnessCommand.h"
#include "CircularCommand.h"
#include "DetectCommand.h"
#include "EdgeCommand.h"
#include "FilterCommand.h"
#include "MorphologyCommand.h"
#include "PatternCommand.h"
#include "StraightCommand.h"
#include "ThresholdCommand.h"

#include <memory>
#include <string>
#include <string_view>
#include <variant>

// A pattern search together with the template it searched for, which is part
// of the command: replayed on another picture it must look for the same thing.
struct PatternStep {
    PatternSettings settings;
    std::shared_ptr<const SizedImage> templ;  // shared: steps are copied, templates never change
    friend bool operator==(const PatternStep& a, const PatternStep& b);
};

using CommandSettings =
    std::variant<FilterSettings, MorphologySettings, BrightnessSettings, ThresholdSettings,
                 DetectSettings, PatternStep, EdgeSettings, StraightSettings, CircularSettings>;

using CommandResult =
    std::variant<FilterResult, MorphologyResult, BrightnessResult, ThresholdResult, DetectResult,
                 PatternResult, EdgeResult, StraightResult, CircularResult>;

// The working tables of every tool, for a caller that runs commands on several
// threads at once: each thread hands in its own, and the results are those of
// one command after another. trace, when set, takes the diagnostic lines of
// the pattern search and the straight-edge fit (null: the process-wide sink).
struct CommandWork {
    explicit CommandWork(const TraceSink* trace = nullptr)
    {
        pattern.trace = trace;
        straight.trace = trace;
    }
    EdgeWork edge;
    StraightWork straight;
    CircularWork circular;
    DetectWork detect;
    PatternWork pattern;
};

// The command's name as recipes write it: "filter", "morphology", "brightness",
// "threshold", "detect", "pattern", "edge", "straight", "circular".
std::string_view CommandName(const CommandSettings& settings);

// What the user calls the command: the filter or operator chosen ("Sobel",
// "Proper Opening"), else the tool ("Threshold", "Detect Object", "Find Edge").
std::string CommandTitle(const CommandSettings& settings);

// Runs the command the settings name on the workspace. The result holds the
// alternative that matches the settings. Without work the tools use their
// process-wide tables, as the window does.
CommandResult RunCommand(const GrayImage& before, GrayImage& after, int width, int height,
                         const CommandSettings& settings, const SearchProgress& progress = {},
                         CommandWork* work = nullptr);

// The report part of any result.
const CommandReport& ReportOf(const CommandResult& result);
