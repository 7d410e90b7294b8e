#include <cstdio>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "CommandLine.h"
#include "Desktop.h"
#include "Identity.h"
#include "InstancePlace.h"
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
    // The switches are read before Qt starts: --help and --version need no display.
    const auto parsed = tally::CommandLine::parse(std::vector<std::string>(argv + std::min(argc, 1), argv + argc));
    if (tally::CommandLine::prints(parsed)) platform::Desktop::useParentConsole();
    // Then at once (after the console, whose Ctrl+C and closing it then also hears), so that a
    // signal at any later moment ends Tally as quitting does.
    platform::catchTerminationSignals();
    if (const auto status = tally::CommandLine::report(parsed, TALLY_VERSION)) return *status;

    // Qt is given the program's name alone: its own switches ("-platform xcb") are named as
    // ignored above, never acted on, so none can abort Tally where its display is missing.
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};

    using tally::SingleInstance;
    const platform::InstancePlace place = platform::instancePlace();
    if (parsed.action == tally::CommandLine::Parsed::Action::quit) {
        QCoreApplication core(qtArgc, qtArgv);  // no display needed to ask
        qint64 pid = 0;
        switch (SingleInstance::send(place, SingleInstance::Request::quit, &pid)) {
            case SingleInstance::Answer::taken: std::puts("Tally quits"); return 0;
            case SingleInstance::Answer::noneRunning: std::puts("Tally is not running"); return 1;
            case SingleInstance::Answer::noAnswer:
                std::printf("Tally is running (process %lld) but does not answer\n", static_cast<long long>(pid));
                return 3;
        }
    }

    const std::string display = platform::Desktop::displayName();
    const auto platforms = platform::Desktop::qtPlatforms();
    if (platforms) qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*platforms));
    QApplication app(qtArgc, qtArgv);
    tally::Identity::apply();

    SingleInstance instance(place);
    if (!instance.isFirst()) {
        const bool answered = SingleInstance::send(place, SingleInstance::Request::show) == SingleInstance::Answer::taken;
        std::puts(answered ? "Tally is already running" : "Tally is already running (it does not answer)");
        return 0;
    }
    tally::TallyApp tally({parsed.switches, confirmStartAtLogin});
    QObject::connect(&instance, &SingleInstance::requested, &tally, [&tally](SingleInstance::Request request) {
        if (request == SingleInstance::Request::quit) tally.model().quit("tally --quit");
        else tally.showYourself();
    });
    const auto termination = platform::watchTermination([&tally](const char* how) { tally.model().quit(how); });
    if (!instance.problem().empty()) tally::Log::write(instance.problem());
    if (const auto reason = offscreenReason(platforms, display))
        tally::Log::write(*reason + ": Tally runs on Qt's offscreen platform");
    return QApplication::exec();
}
