#include "LineSplitter.h"

#include "Parser.h"
#include "Utf8.h"

namespace tally {

LineSplitter::LineSplitter(std::size_t maxLine, bool skipFirstLine)
    : maxLine_(maxLine), skipFirst_(skipFirstLine) {}

void LineSplitter::deliver(std::string_view line, const LineVisitor& visit,
                        LineFilter filter) const {
    if (line.empty() || line.size() > maxLine_) return;
    if (filter == LineFilter::marked && Parser::findMarker(line) == std::string_view::npos)
        return;
    if (Utf8::isValid(line))
        visit(line);
    else
        visit(Utf8::repaired(line));
}

void LineSplitter::deliverMarkedLines(std::string_view complete, const LineVisitor& visit) const {
    // Search the whole run of lines for markers and cut out only the lines that hold one.
    for (std::size_t at = Parser::findMarker(complete); at != std::string_view::npos;) {
        const std::size_t before = complete.rfind('\n', at);
        const std::size_t start = before == std::string_view::npos ? 0 : before + 1;
        std::size_t end = complete.find('\n', at);
        if (end == std::string_view::npos) end = complete.size();
        deliver(complete.substr(start, end - start), visit, LineFilter::all);
        if (end >= complete.size()) break;
        at = Parser::findMarker(complete, end + 1);
    }
}

void LineSplitter::feed(std::string_view bytes, const LineVisitor& visit, LineFilter filter) {
    if (skipFirst_ && partial_.empty() && !dropping_) {
        // The first line of a read that began mid-file may be cut; blank lines before it do
        // not count as lines.
        const std::size_t first = bytes.find_first_not_of('\n');
        if (first == std::string_view::npos) return;
        bytes.remove_prefix(first);
        skipFirst_ = false;
        dropping_ = true;
    }

    const std::size_t firstFeed = bytes.find('\n');
    if (firstFeed == std::string_view::npos) {
        keepUnfinished(bytes);
        return;
    }

    // The line that was waiting for its line feed.
    if (dropping_) {
        dropping_ = false;
    } else if (partial_.empty()) {
        deliver(bytes.substr(0, firstFeed), visit, filter);
    } else if (partial_.size() + firstFeed <= maxLine_) {
        partial_.append(bytes.substr(0, firstFeed));
        deliver(partial_, visit, filter);
    }
    partial_.clear();

    const std::size_t lastFeed = bytes.rfind('\n');
    const std::string_view complete =
        lastFeed > firstFeed ? bytes.substr(firstFeed + 1, lastFeed - firstFeed - 1) : "";
    if (filter == LineFilter::marked) {
        deliverMarkedLines(complete, visit);
    } else {
        for (std::size_t start = 0; start < complete.size();) {
            std::size_t end = complete.find('\n', start);
            if (end == std::string_view::npos) end = complete.size();
            deliver(complete.substr(start, end - start), visit, filter);
            start = end + 1;
        }
    }
    keepUnfinished(bytes.substr(lastFeed + 1));
}

void LineSplitter::keepUnfinished(std::string_view rest) {
    if (dropping_) return;
    if (partial_.size() + rest.size() > maxLine_) {
        partial_.clear();
        partial_.shrink_to_fit();
        dropping_ = true;
        return;
    }
    partial_.append(rest);
}

void LineSplitter::finish(const LineVisitor& visit, LineFilter filter) {
    if (!dropping_) deliver(partial_, visit, filter);
    clear();
}

void LineSplitter::clear() {
    partial_.clear();
    dropping_ = false;
}

}  // namespace tally
