#pragma once

#include <string>
#include <string_view>

namespace tally::Log {

// Appends one time-stamped line ("yyyy-MM-dd HH:mm:ss message") to the activity log, from any
// thread. Lines never interleave. Never fails: a file that cannot be written loses the line.
void write(std::string_view message);

// Also print every line to standard output (set once at launch for --dry-run and --simulate).
void setEcho(bool echo);
bool echo();

// The file, and whether its folder may be created when missing. The first write uses the
// platform's place unless this was called before; tests point it at a temporary folder.
void setFile(std::string path, bool createFolder);
std::string file();

// A file larger than this is moved to "<file>.1" before the next line is written.
inline constexpr unsigned long long rotateAboveBytes = 1'000'000;

}  // namespace tally::Log
