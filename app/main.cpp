#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "CommandLine.h"
#include "Desktop.h"
#include "Identity.h"
#include "Log.h"
#include "TallyApp.h"
#include "Termination.h"

namespace {

bool confirmStartAtLogin() {
    QMessageBox box;
    box.setText(QStringLiteral("Start Tally at login?"));
    box.setInformativeText(QStringLiteral(
        "Tally will be added to System Settings \u2192 General \u2192 Login Items. Untick this "
        "menu item to remove it."));
    QPushButton* add = box.addButton(QStringLiteral("Add"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(add);
    tally::platform::Desktop::bringToFront();
    box.exec();
    return box.clickedButton() == add;
}

}  // namespace

int main(int argc, char** argv) {
    namespace platform = tally::platform;
    const char* fallback = platform::Desktop::fallbackQtPlatform();
    if (fallback) qputenv("QT_QPA_PLATFORM", fallback);
    QApplication app(argc, argv);
    tally::Identity::apply();
    if (const auto status = tally::CommandLine::handle(QApplication::arguments())) return *status;

    // A signal ends Tally the way "Quit Tally" does: the application quits, and on the way out
    // the light is switched off.
    const auto termination = platform::watchTermination([] { QCoreApplication::quit(); });
    tally::TallyApp tally({QApplication::arguments(), confirmStartAtLogin});
    if (fallback)
        tally::Log::write(std::string("no display: Tally runs on Qt's ") + fallback + " platform");
    return QApplication::exec();
}
