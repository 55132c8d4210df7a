// commands/CommandTypes.h
#pragma once
#include "Image.h"
#include "Region.h"

#include <string>
#include <utility>

// The four corners of the region of interest as they stand below the views:
// X1, Y1 where the drag began, X2, Y2 where it ended. Unordered and unclamped;
// each command applies the rule its tool uses (a rectangle ordered and cut to
// the image, a directed line, a centre).
struct Corners {
    int X1 = 0, Y1 = 0, X2 = 100, Y2 = 100;
    friend bool operator==(const Corners&, const Corners&) = default;
};

// What became of a run. Only a command that ran changes the After image (a
// cancelled search leaves it a plain copy of Before, as the search started it);
// one that found no picture or refused its input leaves it exactly as it was,
// so the view and "Copy After to Before" still agree with what is on screen.
enum class Outcome { Ran, NoPicture, Refused, Cancelled };

// Every command result starts with this.
struct CommandReport {
    Outcome outcome = Outcome::Ran;
    std::string message;  // why it refused; empty otherwise
    bool Ran() const { return outcome == Outcome::Ran; }
};

// Every command takes the Before image, the After image it writes and their
// common size. Before any picture is loaded both are empty.
inline bool HasPicture(const GrayImage& before, const GrayImage& after, int width, int height)
{
    return before && after && width > 0 && height > 0;
}

// A result that says why nothing was done.
template <class Result>
Result NotRun(Outcome outcome, std::string message = {})
{
    Result result;
    result.outcome = outcome;
    result.message = std::move(message);
    return result;
}

// A gray image that carries its size: a template, a picture handed over.
struct SizedImage {
    GrayImage pixels;
    int width = 0, height = 0;
    explicit operator bool() const { return static_cast<bool>(pixels); }
};
