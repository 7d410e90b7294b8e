#include <cstdio>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "CommandLine.h"
#include "Desktop.h"
#include "Identity.h"
#include "Log.h"
#include "LoginItem.h"
#include "SingleInstance.h"
#include "TallyApp.h"
#include "Termination.h"

namespace {

bool confirmStartAtLogin() {
    QMessageBox box;
    box.setText(QStringLiteral("Start Tally at login?"));
    box.setInformativeText(QString::fromStdString(tally::platform::LoginItem::whatEnablingDoes()));
    QPushButton* add = box.addButton(QStringLiteral("Add"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(add);
    // A menu-bar application is rarely the active one: ask to be, and keep the question above
    // other windows whatever the answer.
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    tally::platform::Desktop::bringToFront();
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    box.exec();
    return box.clickedButton() == add;
}

// Why Tally runs without a display, if it does.
std::optional<std::string> offscreenReason(const std::optional<std::string>& platforms,
                                           const std::string& display) {
    if (!platforms || QGuiApplication::platformName() != QStringLiteral("offscreen")) return std::nullopt;
    if (*platforms == "offscreen") return "no display";
    return "cannot reach the display (" + display + ")";
}

}  // namespace

int main(int argc, char** argv) {
    namespace platform = tally::platform;
    // First of all, so that a signal at any later moment ends Tally as quitting does.
    platform::catchTerminationSignals();

    // The switches are read before Qt starts: --help and --version need no display.
    platform::Desktop::useParentConsole();
    const auto parsed = tally::CommandLine::parse(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (const auto status = tally::CommandLine::report(parsed, TALLY_VERSION)) return *status;

    using tally::SingleInstance;
    if (parsed.action == tally::CommandLine::Parsed::Action::quit) {
        QCoreApplication core(argc, argv);  // no display needed to ask
        const bool asked = SingleInstance::send(SingleInstance::defaultFolder(), SingleInstance::Request::quit);
        std::puts(asked ? "Tally quits" : "Tally is not running");
        return 0;
    }

    const std::string display = platform::Desktop::displayName();
    const auto platforms = platform::Desktop::qtPlatforms();
    if (platforms) qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*platforms));
    QApplication app(argc, argv);
    tally::Identity::apply();

    SingleInstance instance(SingleInstance::defaultFolder());
    if (!instance.isFirst()) {
        const bool answered = SingleInstance::send(SingleInstance::defaultFolder(), SingleInstance::Request::show);
        std::puts(answered ? "Tally is already running" : "Tally is already running (it does not answer)");
        return 0;
    }
    tally::TallyApp tally({parsed.switches, confirmStartAtLogin});
    QObject::connect(&instance, &SingleInstance::requested, &tally, [&tally](SingleInstance::Request request) {
        if (request == SingleInstance::Request::quit) tally.model().quit("tally --quit");
        else tally.showYourself();
    });
    const auto termination = platform::watchTermination([&tally](const char* how) { tally.model().quit(how); });
    if (!instance.guarded())
        tally::Log::write("cannot make a lock in " + SingleInstance::defaultFolder().toStdString() +
                          ": a second Tally would not be noticed");
    if (const auto reason = offscreenReason(platforms, display))
        tally::Log::write(*reason + ": Tally runs on Qt's offscreen platform");
    return QApplication::exec();
}
