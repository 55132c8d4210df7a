// batch/BatchResults.h: the results file, one row per picture and step.
#pragma once
#include "BatchRun.h"

#include <string>
#include <vector>

// Columns: picture, step, command, status (ok / error), message, then the
// step's numbers: threshold; objectCount, objects ("minX minY maxX maxY
// area;..."); matches ("x1 y1 x2 y2 angle score;..."); edgeCount, edges ("x y
// polarity strength;..."); fitted, a, b, runCount; votes, centreX, centreY,
// radius, spokes, hits, verdict (OK / NG). A number that does not belong to
// the step's command is an empty cell. Floats read back to the same float.
std::string ResultsCsv(const std::vector<PictureOutcome>& pictures);

// The same rows as an array of objects with the same names; a row holds only
// the names its command measures, and the lists are arrays of objects.
std::string ResultsJson(const std::vector<PictureOutcome>& pictures);

// The pieces, for callers that collect pictures one by one: ResultsCsv is the
// header followed by each picture's lines (every line ends in "\n"); ResultsJson
// is ResultsJsonArray of every picture's objects in order.
std::string ResultsCsvHeader();
std::string ResultsCsvLines(const PictureOutcome& picture);
std::vector<std::string> ResultsJsonObjects(const PictureOutcome& picture);
std::string ResultsJsonArray(const std::vector<std::string>& objects);
