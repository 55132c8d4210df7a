// batch/BatchMeasures.h: a step's measured numbers (MeasureCommand) as fields
// of the results file, named as the Results pane's table names the same
// quantities, so an exported table and a results file read alike.
#pragma once
#include "Measurements.h"

#include <string>
#include <vector>

// A field as named, with its CSV cell and its JSON value. A name "row.column"
// (subpixel.a, refined.radius) is a column of the table's second row: a CSV
// column of that name, and in JSON the member column of an object row.
struct BatchField {
    std::string name;
    std::string csv, json;
};

// What MeasureCommand gives for a step that ran, from the step's own Before:
// the region is the step's (the whole picture for threshold, which has none).
// Commands that measure nothing are not measured: monostate.
CommandMeasures MeasureStep(const GrayImage& before, int width, int height,
                            const CommandSettings& settings, const CommandResult& result);

// The CSV columns of the measured fields, in file order.
const std::vector<std::string>& MeasuredColumns();

// The fields of a step beside its tool's own numbers; a quantity that was not
// measured (no measures, a line not fitted) has no field. Doubles read back to
// the same double and always show as floats (12.0), so a reader never takes
// them for counts; a double that is not finite is null in JSON.
std::vector<BatchField> MeasuredFields(const CommandResult& result,
                                       const CommandMeasures& measures);

// The JSON members of the fields ("name": value, ...), fields of one "row."
// gathered into one object member.
std::string JsonMembers(const std::vector<BatchField>& fields);
