// tools/Trace.h
#pragma once
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

// Where the tools' diagnostic lines go: the score of each zero-angle pattern
// candidate, the runs and the line of a straight-edge fit. A line arrives whole,
// newline included, in the order the tool writes it. A default-made sink drops
// every line.
class TraceSink {
public:
    TraceSink() = default;
    // Standard output, looked up at each line: what every tool writes to unless told.
    static TraceSink ToStandardOutput();
    // Writes to out; nullptr drops the lines.
    static TraceSink ToFile(std::FILE* out);
    // Appends to text, which must outlive the sink.
    static TraceSink ToString(std::string& text);
    static TraceSink ToCallback(std::function<void(std::string_view line)> write);

    bool Silent() const { return !write_; }
    void Write(std::string_view line) const
    {
        if (write_)
            write_(line);
    }

private:
    std::function<void(std::string_view)> write_;
};

// The process-wide sink, for every run whose work names none. Set it while no
// tool runs. Its lines are written one at a time under a lock, so lines of
// tools running side by side never mix within a line.
void SetDefaultTraceSink(TraceSink sink);

// Formats one line as printf does and writes it to sink, or to the process-wide
// sink when sink is null. A silent sink costs no formatting.
void TraceLine(const TraceSink* sink, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
