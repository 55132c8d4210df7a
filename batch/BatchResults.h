// batch/BatchResults.h: the results file, one row per picture and step.
#pragma once
#include "BatchRun.h"

#include <string>
#include <vector>

// Columns: picture, step, command, status (ok / error), message, then the
// step's numbers: threshold; objectCount, objects ("minX minY maxX maxY
// area;..."); matches ("x1 y1 x2 y2 angle score;..."); edgeCount, edges ("x y
// polarity strength;..."); fitted, a, b, runCount; votes, centreX, centreY,
// radius, spokes, hits, verdict (OK / NG). Then what MeasureCommand measured,
// named as the Results pane's table names it: upper, pixels, above, below,
// mean, deviation; totalArea, centroidX, centroidY ("x;..."); subX, subY,
// along, spacing ("v;..."); scanLines, c, angle, points, rms, worst, the
// sub-pixel line as subpixel.fitted, .a, .b, .c, .angle, .points, .rms,
// .worst; inliers and the refined circle as refined.centreX, .centreY,
// .radius, .rms, .inliers (see BatchMeasures.h). A number that does not
// belong to the step's command is an empty cell. Floats read back to the
// same float, measured doubles to the same double.
std::string ResultsCsv(const std::vector<PictureOutcome>& pictures);

// The same rows as an array of objects with the same names; a row holds only
// the names its command measures, the tools' lists are arrays of objects, the
// measured lists arrays of numbers, and "subpixel.a" is member a of the
// object "subpixel".
std::string ResultsJson(const std::vector<PictureOutcome>& pictures);

// The pieces, for callers that collect pictures one by one: ResultsCsv is the
// header followed by each picture's lines (every line ends in "\n"); ResultsJson
// is ResultsJsonArray of every picture's objects in order.
std::string ResultsCsvHeader();
std::string ResultsCsvLines(const PictureOutcome& picture);
std::vector<std::string> ResultsJsonObjects(const PictureOutcome& picture);
std::string ResultsJsonArray(const std::vector<std::string>& objects);
