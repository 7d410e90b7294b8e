// What Linux and Windows do alike, through Qt: neither has a privacy setting for a folder.
#include "Desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QUrl>

namespace tally::platform::Desktop {

bool openFile(const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void openPrivacySettings(const std::string& teamsLogDirectory) {
    // The folder is missing or closed to Tally: show the user where the logs should be.
    QString folder = QDir::cleanPath(QString::fromStdString(teamsLogDirectory));
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) break;
        folder = parent;
    }
    openFile(folder.toStdString());
}

std::string unreadableLogsItem() { return "Can't read Teams logs: show where Tally looks\u2026"; }

std::string machineName() { return "computer"; }

}  // namespace tally::platform::Desktop
