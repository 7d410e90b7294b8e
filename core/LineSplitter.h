#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tally {

// Receives one line: its text without the line feed, never empty, valid UTF-8.
using LineVisitor = std::function<void(std::string_view line)>;

// Which lines a reader hands on: all of them, or only those holding one of the parser's
// markers (the others cannot yield an event, and skipping them unsplit is much cheaper).
enum class LineFilter { all, marked };

// Cuts a stream of byte chunks into lines at line feeds. It holds at most `maxLine` bytes of an
// unfinished line; a longer line is dropped whole rather than split into false lines. Invalid
// UTF-8 in a line is repaired before the line is handed on.
class LineSplitter {
public:
    explicit LineSplitter(std::size_t maxLine, bool skipFirstLine = false);

    void feed(std::string_view bytes, const LineVisitor& visit, LineFilter filter);
    // Hands on the unfinished rest as a last line.
    void finish(const LineVisitor& visit, LineFilter filter);
    // Forgets the unfinished line.
    void clear();
    bool holdsPartialLine() const { return !partial_.empty() || dropping_; }

private:
    void deliver(std::string_view line, const LineVisitor& visit, LineFilter filter) const;
    void deliverMarkedLines(std::string_view complete, const LineVisitor& visit) const;
    void keepUnfinished(std::string_view rest);

    std::size_t maxLine_;
    bool skipFirst_;
    bool dropping_ = false;  // inside an overlong or skipped line, until its line feed
    std::string partial_;
};

}  // namespace tally
