#include "MenuContent.h"

#include <algorithm>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>

#include "AppModel.h"
#include "Desktop.h"
#include "Log.h"
#include "LogTailer.h"
#include "Preferences.h"
#include "SerialPorts.h"
#include "Text.h"

namespace tally {

MenuContent::MenuContent(AppModel& model, QMenu& menu) : QObject(&menu), model_(model) {
    teams_ = menu.addAction(QString());
    teams_->setEnabled(false);
    light_ = menu.addAction(QString());
    light_->setEnabled(false);
    menu.setToolTipsVisible(true);
    privacy_ = menu.addAction(QString::fromStdString(platform::Desktop::unreadableLogsItem()));
    connect(privacy_, &QAction::triggered, this,
            [] { platform::Desktop::openPrivacySettings(teamsLogDirectory()); });
    menu.addSeparator();

    // A status by hand: shown instead of what Teams says (a call still shows), for a while or
    // until changed.
    showAs_ = menu.addMenu(QStringLiteral("Show as"));
    automatic_ = showAs_->addAction(QStringLiteral("Automatic"));
    automatic_->setCheckable(true);
    connect(automatic_, &QAction::triggered, this, [this] {
        model_.automatic();
        showManual();
    });
    showAs_->addSeparator();
    for (std::size_t i = 0; i < manualStates.size(); ++i) {
        const LightState state = manualStates[i];
        manualMenus_[i] = showAs_->addMenu(qText(rawValue(state)));
        manualMenus_[i]->menuAction()->setCheckable(true);
        for (const auto& [text, minutes] : manualTimes)
            connect(manualMenus_[i]->addAction(qText(text)), &QAction::triggered, this,
                    [this, state, minutes = minutes] { model_.showAs(state, minutes); });
        // Only within the working hours: the end of the day is theirs.
        endOfDay_[i] = manualMenus_[i]->addAction(qText(endOfDayItem));
        connect(endOfDay_[i], &QAction::triggered, this, [this, state] {
            if (const auto minutes = model_.hours().minutesToEnd(localTimeNow())) model_.showAs(state, *minutes);
        });
        connect(manualMenus_[i]->addAction(qText(untilChangedItem)), &QAction::triggered, this,
                [this, state] { model_.showAs(state, std::nullopt); });
    }
    connect(showAs_, &QMenu::aboutToShow, this, [this] {
        const bool within = model_.hours().minutesToEnd(localTimeNow()).has_value();
        for (QAction* item : endOfDay_) item->setVisible(within);
    });
    for (QAction* item : endOfDay_) item->setVisible(false);

    QMenu* brightness = menu.addMenu(QStringLiteral("Brightness"));
    for (std::size_t i = 0; i < brightnessOptions.size(); ++i) {
        const int value = brightnessOptions[i];
        brightness_[i] = brightness->addAction(QStringLiteral("%1 %").arg(value));
        brightness_[i]->setCheckable(true);
        connect(brightness_[i], &QAction::triggered, this, [this, value] {
            model_.setBrightness(value);
            showBrightness();  // a click on the marked option must not unmark it
        });
    }
    pause_ = menu.addAction(QStringLiteral("Pause light"));
    pause_->setCheckable(true);
    connect(pause_, &QAction::triggered, this, [this] { model_.setPaused(!model_.paused()); });
    // "Any call": whether programs other than Teams make a call, which do now, and which never do.
    anyCallMenu_ = menu.addMenu(qText(anyCallItem));
    anyCallMenu_->menuAction()->setCheckable(true);
    anyCall_ = new QAction(QStringLiteral("On"), this);  // not the submenu's: refilling it deletes its own
    anyCall_->setCheckable(true);
    connect(anyCall_, &QAction::triggered, this, [this] { model_.setAnyCall(!model_.anyCall()); });
    connect(anyCallMenu_, &QMenu::aboutToShow, this, &MenuContent::fillAnyCall);
    fillAnyCall();
    connect(menu.addAction(QStringLiteral("Test colours")), &QAction::triggered, this,
            [this] { model_.startTest(); });
    connect(menu.addAction(QStringLiteral("Preferences\u2026")), &QAction::triggered, this,
            &MenuContent::showPreferences);
    menu.addSeparator();

    startAtLogin_ = menu.addAction(QStringLiteral("Start at login"));
    startAtLogin_->setCheckable(true);
    connect(startAtLogin_, &QAction::triggered, this, [this] {
        model_.setStartAtLogin(!model_.startAtLogin());
        showStartAtLogin();  // what the model settled on, not what the click made of the mark
    });
    connect(menu.addAction(QStringLiteral("View log")), &QAction::triggered, this, &MenuContent::viewLog);
    menu.addSeparator();

    quit_ = menu.addAction(QStringLiteral("Quit Tally"));
    quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));  // Command-Q on macOS
    quit_->setShortcutContext(Qt::ApplicationShortcut);
    connect(quit_, &QAction::triggered, this, &MenuContent::quitTally);
    menu.installEventFilter(this);

    connect(&model_, &AppModel::stateChanged, this, &MenuContent::showState);
    connect(&model_, &AppModel::pausedChanged, this, [this] {
        showState();
        pause_->setChecked(model_.paused());
    });
    connect(&model_, &AppModel::lightStatusChanged, this, &MenuContent::showLight);
    connect(&model_, &AppModel::logsReadableChanged, this, &MenuContent::showLogsReadable);
    connect(&model_, &AppModel::brightnessChanged, this, &MenuContent::showBrightness);
    connect(&model_, &AppModel::startAtLoginChanged, this, &MenuContent::showStartAtLogin);
    connect(&model_, &AppModel::anyCallChanged, this, &MenuContent::showAnyCall);
    connect(&model_, &AppModel::manualChanged, this, &MenuContent::showManual);

    showState();
    showLight();
    showLogsReadable();
    showBrightness();
    showStartAtLogin();
    showAnyCall();
    showManual();
    pause_->setChecked(model_.paused());
}

void MenuContent::showManual() {
    const auto manual = model_.manual();
    QString title = QStringLiteral("Show as: Automatic");
    if (manual) {
        title = QStringLiteral("Show as: ") + qText(rawValue(*manual));
        if (!model_.manualUntil().isEmpty()) title += QStringLiteral(" (until %1)").arg(model_.manualUntil());
    }
    showAs_->setTitle(title);
    automatic_->setChecked(!manual);
    for (std::size_t i = 0; i < manualStates.size(); ++i)
        manualMenus_[i]->menuAction()->setChecked(manual == manualStates[i]);
}

void MenuContent::showState() {
    QString text = QStringLiteral("Teams: ") + qText(rawValue(model_.state()));
    if (model_.paused()) text += QStringLiteral(" (paused)");
    teams_->setText(text);
}

void MenuContent::showLight() {
    light_->setText(model_.lightStatus());
    // What to do about a light Tally may not open, where the menu shows tooltips.
    light_->setToolTip(model_.lightStatus().contains(QStringLiteral("permission denied"))
                           ? QString::fromStdString(platform::serialPermissionHint())
                           : QString());
}

void MenuContent::showLogsReadable() { privacy_->setVisible(!model_.logsReadable()); }

void MenuContent::showBrightness() {
    for (std::size_t i = 0; i < brightnessOptions.size(); ++i)
        brightness_[i]->setChecked(brightnessOptions[i] == model_.brightness());
}

void MenuContent::showStartAtLogin() { startAtLogin_->setChecked(model_.startAtLogin()); }

void MenuContent::showAnyCall() {
    anyCall_->setChecked(model_.anyCall());
    anyCallMenu_->menuAction()->setChecked(model_.anyCall());
}

void MenuContent::fillAnyCall() {
    anyCallMenu_->clear();  // deletes the entries it owns, which are all but "On"
    anyCallMenu_->addAction(anyCall_);
    anyCallMenu_->addSeparator();
    const auto now = model_.callPrograms();
    QStringList named;
    for (const auto& program : now)
        if (!program.empty()) named << QString::fromStdString(program);
    QAction* inUse = anyCallMenu_->addAction(
        now.empty() ? QStringLiteral("In use now: none")
                    : QStringLiteral("In use now: ") + (named.isEmpty() ? QStringLiteral("a program without a name")
                                                                      : named.join(QStringLiteral(", "))));
    inUse->setEnabled(false);
    // Every program in use now, and every one never counted, so that it can be counted again.
    std::vector<std::string> programs = model_.neverCalls();
    for (const auto& program : now)
        if (!program.empty() && std::find(programs.begin(), programs.end(), program) == programs.end())
            programs.push_back(program);
    for (const auto& program : programs) {
        QAction* never = anyCallMenu_->addAction(QStringLiteral("Never count %1 as a call").arg(QString::fromStdString(program)));
        never->setCheckable(true);
        const auto& ignored = model_.neverCalls();
        never->setChecked(std::find(ignored.begin(), ignored.end(), program) != ignored.end());
        connect(never, &QAction::triggered, this, [this, program](bool checked) { model_.setNeverCall(program, checked); });
    }
}

void MenuContent::quitTally() { model_.quit("from its menu"); }

void MenuContent::showPreferences() {
    if (!preferences_) preferences_ = new Preferences(model_);
    preferences_->show();
    preferences_->raise();
    preferences_->activateWindow();
}

void MenuContent::viewLog() {
    if (platform::Desktop::openFile(Log::file())) return;
    // No program to open it with (no xdg-open, say): then say where it is.
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Tally"),
                                QStringLiteral("Tally's activity log is %1").arg(QString::fromStdString(Log::file())));
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

bool MenuContent::eventFilter(QObject* watched, QEvent* event) {
    // An open menu takes the keyboard, and Qt does not look for shortcuts while it has it.
    if (event->type() == QEvent::KeyPress &&
        QKeySequence(static_cast<QKeyEvent*>(event)->keyCombination()) == quit_->shortcut()) {
        quit_->trigger();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tally
