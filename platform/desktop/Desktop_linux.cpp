#include "Desktop.h"

#include <cstdlib>
#include <filesystem>

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace tally::platform::Desktop {

const char* fallbackQtPlatform() {
    for (const char* set : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (const char* value = std::getenv(set); value && *value) return nullptr;
    return "offscreen";
}

void becomeMenuBarOnly() {}

bool trayClickOpensMenu() { return false; }

void bringToFront() {}

void openFile(const std::string& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void openPrivacySettings(const std::string& teamsLogDirectory) {
    // Linux has no privacy pane for folders: show the user where the logs should be.
    std::filesystem::path folder(teamsLogDirectory);
    std::error_code error;
    while (folder.has_relative_path() && !std::filesystem::is_directory(folder, error))
        folder = folder.parent_path();
    openFile(folder.string());
}

}  // namespace tally::platform::Desktop
