#include "Log.h"

#include <condition_variable>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "LogLocation.h"
#include "StandardOutput.h"
#include "Utf8.h"

namespace tally::Log {

namespace {

namespace fs = std::filesystem;

// Paths are UTF-8 text throughout; a path made from a plain string would be read in the
// system's code page on Windows ("café" becoming "cafÃ©").
fs::path pathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string textOf(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The copy of the log on standard output. Its lines wait here for a thread of their own, so
// that a reader who stops reading (a full pipe, a stopped terminal) holds up nobody: while too
// much waits, lines are dropped and counted instead. Never destroyed, as that thread may still
// be waiting on the reader when the process ends.
class Echo {
public:
    static constexpr std::size_t maxWaitingBytes = 64 * 1024;

    struct News {
        bool startedDropping = false;
        std::string note;  // the line that counts what was dropped, once there is room again
    };

    // `note` makes the counting line for a number of dropped lines; it goes out before `line`.
    template <typename Note>
    News push(std::string line, const Note& note) {
        const std::lock_guard guard(lock_);
        News news;
        if (!waiting_.empty() && waitingBytes_ + line.size() > maxWaitingBytes) {
            news.startedDropping = dropped_++ == 0;
            return news;
        }
        if (dropped_ > 0) {
            news.note = note(std::exchange(dropped_, 0));
            queue(news.note);
        }
        queue(std::move(line));
        if (!started_) {
            started_ = true;
            std::thread([this] { run(); }).detach();
        }
        ready_.notify_one();
        return news;
    }

private:
    void run() {
        std::unique_lock guard(lock_);
        for (;;) {
            ready_.wait(guard, [this] { return !waiting_.empty(); });
            const std::string line = std::move(waiting_.front());
            waiting_.pop_front();
            guard.unlock();
            platform::writeStandardOutput(line);  // may wait for the reader; holds no lock
            guard.lock();
            waitingBytes_ -= line.size();
        }
    }

    void queue(std::string line) {
        waitingBytes_ += line.size();
        waiting_.push_back(std::move(line));
    }

    std::mutex lock_;
    std::condition_variable ready_;
    std::deque<std::string> waiting_;
    std::size_t waitingBytes_ = 0;
    std::uint64_t dropped_ = 0;
    bool started_ = false;
};

// Everything below is guarded by the one lock, held for the whole of every write.
struct State {
    std::mutex lock;
    bool echo = false;
    std::optional<platform::LogLocation> location;
    Echo& echoed = *new Echo;
};

State& state() {
    static State instance;
    return instance;
}

const platform::LogLocation& location(State& s) {
    if (!s.location) s.location = platform::activityLogLocation();
    return *s.location;
}

std::string stamped(std::string_view message) {
    const std::time_t now = std::time(nullptr);
    char text[32] = "";
    // localtime's shared buffer is only touched under the log's lock.
    if (const std::tm* local = std::localtime(&now))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
    std::string line = text;
    line += ' ';
    line += message;
    line += '\n';
    return line;
}

// Moves a full file aside to "<file>.1". Where that cannot be done (a read-only folder, a
// "<file>.1" that cannot be replaced), the file starts again rather than grow without end, and
// its first line says why.
void rotate(const fs::path& path) {
    fs::path aside = path;
    aside += ".1";
    std::error_code error;
    fs::remove(aside, error);
    fs::rename(path, aside, error);
    if (!error) return;
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << stamped("the activity log could not be moved to " + textOf(aside.filename()) + " (" +
                   error.message() + "), so it starts again here");
}

void append(const std::string& file, bool createFolder, const std::string& text) {
    const fs::path path = pathOf(file);
    std::error_code error;
    if (createFolder) fs::create_directories(path.parent_path(), error);
    // Only ever a plain file: opening a FIFO would wait for a reader for ever, and a device or
    // a folder is no place for the log. Such a path loses the line like an unwritable one.
    const auto type = fs::status(path, error).type();
    if (type != fs::file_type::regular && type != fs::file_type::not_found) return;
    if (type == fs::file_type::regular && fs::file_size(path, error) > rotateAboveBytes && !error)
        rotate(path);
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (out) out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

}  // namespace

void write(std::string_view message) {
    // Messages carry text from outside (program names, a light's replies, paths): none of it
    // may break the line, forge another or reorder what a reader sees.
    const std::string text = Utf8::printable(message);
    State& s = state();
    const std::lock_guard guard(s.lock);
    const std::string line = stamped(text);
    std::string lines = line;
    if (s.echo) {
        const Echo::News news = s.echoed.push(line, [](std::uint64_t dropped) {
            return stamped(std::to_string(dropped) + (dropped == 1 ? " line was" : " lines were") +
                           " not copied to standard output, which was not read");
        });
        lines = news.note + line;
        if (news.startedDropping)
            lines += stamped("standard output is not read: lines go to this file only until it is");
    }
    const auto& [path, createFolder] = location(s);
    append(path, createFolder, lines);
}

void setEcho(bool echo) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    s.echo = echo;
}

bool echo() {
    State& s = state();
    const std::lock_guard guard(s.lock);
    return s.echo;
}

void setFile(std::string path, bool createFolder) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    s.location = platform::LogLocation{std::move(path), createFolder};
}

std::string file() {
    State& s = state();
    const std::lock_guard guard(s.lock);
    return location(s).path;
}

}  // namespace tally::Log
