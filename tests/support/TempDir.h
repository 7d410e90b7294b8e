#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <chrono>
#include <random>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace tally::test {

// The lines of a file, without their line feeds; none if it cannot be read.
inline std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A real folder for a test, removed afterwards. Readable by everyone, so that a test may
// drop root's privileges and still use it.
class TempDir {
public:
    TempDir() {
#ifdef _WIN32
        std::random_device random;
        do path_ = std::filesystem::temp_directory_path() / ("tally-test-" + std::to_string(random()));
        while (!std::filesystem::create_directory(path_));
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "tally-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
        std::filesystem::permissions(path_, std::filesystem::perms(0755));
#endif
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::all, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(std::string_view name) const { return (path_ / name).string(); }

    // Appends bytes to a file, creating it if needed.
    void append(std::string_view name, std::string_view bytes) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::app);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    void write(std::string_view name, std::string_view bytes) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    // Sets a file's modification time to `seconds` after 2020-01-01.
    void touch(std::string_view name, double seconds) const {
#ifdef _WIN32
        using namespace std::chrono;
        const auto when = sys_seconds(std::chrono::seconds(1577836800)) +
                          duration_cast<system_clock::duration>(duration<double>(seconds));
        std::filesystem::last_write_time(file(name), file_clock::from_sys(when));
#else
        const auto whole = static_cast<time_t>(seconds);
        const timespec times[2] = {
            {0, UTIME_OMIT},
            {1577836800 + whole, static_cast<long>((seconds - static_cast<double>(whole)) * 1e9)}};
        ::utimensat(AT_FDCWD, file(name).c_str(), times, 0);
#endif
    }

private:
    std::filesystem::path path_;
};

}  // namespace tally::test
