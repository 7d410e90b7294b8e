#pragma once

#include <optional>

#include <QStringList>

namespace tally::CommandLine {

// Answers --help and --version (on standard output) and names any argument Tally does not know
// (on standard error; it is otherwise ignored). Returns the exit status when Tally should stop
// here, nothing when it should run.
std::optional<int> handle(const QStringList& arguments);

}  // namespace tally::CommandLine
