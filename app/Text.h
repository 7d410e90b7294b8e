#pragma once

#include <string_view>

#include <QString>

namespace tally {

inline QString qText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace tally
