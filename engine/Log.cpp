#include "Log.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>

#include "LogLocation.h"

namespace tally::Log {

namespace {

namespace fs = std::filesystem;

// Everything below is guarded by the one lock, held for the whole of every write.
struct State {
    std::mutex lock;
    bool echo = false;
    std::optional<platform::LogLocation> location;
};

State& state() {
    static State instance;
    return instance;
}

const platform::LogLocation& location(State& s) {
    if (!s.location) s.location = platform::activityLogLocation();
    return *s.location;
}

std::string stamp() {
    const std::time_t now = std::time(nullptr);
    char text[32] = "";
    // localtime's shared buffer is only touched under the log's lock.
    if (const std::tm* local = std::localtime(&now))
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
    return text;
}

}  // namespace

void write(std::string_view message) {
    State& s = state();
    const std::lock_guard guard(s.lock);
    std::string line = stamp();
    line += ' ';
    line += message;
    line += '\n';
    if (s.echo) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }

    const auto& [path, createFolder] = location(s);
    std::error_code error;
    if (const auto size = fs::file_size(path, error); !error && size > rotateAboveBytes) {
        fs::remove(path + ".1", error);
        fs::rename(path, path + ".1", error);
    }
    if (createFolder) fs::create_directories(fs::path(path).parent_path(), error);
    // Only ever a plain file: opening a FIFO would wait for a reader for ever, and a device or
    // a folder is no place for the log. Such a path loses the line like an unwritable one.
    if (const auto type = fs::status(path, error).type();
        type != fs::file_type::regular && type != fs::file_type::not_found)
        return;
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (out) out.write(line.data(), static_cast<std::streamsize>(line.size()));
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
