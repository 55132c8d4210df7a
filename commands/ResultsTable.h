// commands/ResultsTable.h: the numbers of one command as a table, for the
// Results pane and for export. Columns are named as the batch runner's results
// file names the same quantities (threshold, objectCount, x, y, polarity,
// strength, a, b, votes, centreX, centreY, radius, spokes, hits, verdict), so
// an exported table and a batch results file read alike.
#pragma once
#include "Command.h"
#include "Measurements.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A scale from pixels to a unit of length: 0.05 "mm" per pixel. Not set while
// unitsPerPixel is 0; then the tables hold pixels only.
struct Calibration {
    double unitsPerPixel = 0;
    std::string unit;
    bool IsSet() const { return unitsPerPixel > 0; }
    friend bool operator==(const Calibration&, const Calibration&) = default;
};

// Why a scale cannot be used, or nothing: it takes a positive finite number
// and a unit name of 1 to 16 bytes with no control character in it.
std::optional<std::string> CalibrationFault(double unitsPerPixel, std::string_view unit);

// A cell holds a number (kept as a number, so a view sorts it as one), a text,
// or nothing. decimals only shapes the text a view shows: -1 shows whole
// numbers whole and others with six significant digits.
struct ResultCell {
    std::variant<std::monostate, double, std::string> value;
    int decimals = -1;
    bool IsNumber() const { return std::holds_alternative<double>(value); }
    double Number() const { return std::get<double>(value); }
    friend bool operator==(const ResultCell&, const ResultCell&) = default;
};

// A name and value beside the rows: a total, a count.
struct ResultField {
    std::string name;
    ResultCell cell;
    friend bool operator==(const ResultField&, const ResultField&) = default;
};

struct ResultsTable {
    std::string title;                 // the command as the user calls it: "Find Circular"
    std::string command;               // as recipes name it: "circular"
    std::vector<std::string> columns;
    std::vector<std::vector<ResultCell>> rows;  // each as long as columns
    std::vector<ResultField> summary;           // the tool's totals, whatever is filtered
    int Column(std::string_view name) const;    // -1 when there is none
    friend bool operator==(const ResultsTable&, const ResultsTable&) = default;
};

// A command's numbers as the Results pane lists them; the window keeps them
// with its history, so that undo and redo bring back what was listed.
struct ShownResults {
    CommandSettings settings;
    CommandResult result;
    CommandMeasures measures;
};
// The memory they hold, their lists included.
std::size_t ShownResultsBytes(const ShownResults& shown);

// The table of a command that ran; a command that did not run gives its title
// and no rows. measures may be monostate: the columns only they fill stay
// empty. With a calibration set, each length and position has a column
// "<name>_<unit>" right after its pixel column, areas "<name>_<unit>2".
ResultsTable MakeResultsTable(const CommandSettings& settings, const CommandResult& result,
                              const CommandMeasures& measures,
                              const Calibration& calibration = {});

// The rows a view shows with its filters: Detect rows whose area is at least
// minimumArea, Match Pattern rows whose score is at least minimumScore. Other
// tables and the summary are left as they are.
ResultsTable FilterResults(const ResultsTable& table, std::int64_t minimumArea,
                           double minimumScore);

// The text a view shows for a cell ("" for none).
std::string CellText(const ResultCell& cell);

// CSV: a header line of the column names, then one line per row. Numbers are
// written in the shortest text that reads back to the same double; texts are
// quoted only when they hold a comma, quote or line break.
std::string WriteResultsCsv(const ResultsTable& table);
// A CSV cell: text as it is, quoted (quotes doubled) only when it holds a
// comma, quote or line break. The batch results file quotes the same way.
std::string CsvText(const std::string& text);
// JSON: {"title", "command", "columns", "rows" (arrays of cells: number, text
// or null), "summary" (an object)}; numbers read back to the same double, and
// a number that is not finite is null.
std::string WriteResultsJson(const ResultsTable& table);
