#include "TallyApp.h"

#include <algorithm>

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

#include "Desktop.h"
#include "Log.h"
#include "MenuContent.h"
#include "Text.h"
#include "TrayIcon.h"
#include "Wiring.h"

namespace tally {

QIcon TallyApp::iconFor(LightState state) { return trayIcon(defaultPalette()[static_cast<std::size_t>(state)], IconMark::none); }

TallyApp::TallyApp(Options options, QObject* parent)
    : QObject(parent),
      model_(Wiring::model(options.switches, {std::move(options.confirmStartAtLogin)})),
      sleepWatcher_(Wiring::watchSleep(*model_)),
      menu_(std::make_unique<QMenu>()) {
    platform::Desktop::becomeMenuBarOnly();
    QApplication::setQuitOnLastWindowClosed(false);  // only "Quit Tally" ends it
    new MenuContent(*model_, *menu_);
    // However the application ends (quit, a signal, the desktop session's end), the light is
    // switched off on the way out.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        model_->finish("the desktop session ends");
        platform::Desktop::leaveMenuBar();
    });

    // The icon is made and shown even without a tray: a tray host that starts later (as at
    // login) gets it then.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        Log::write("no system tray: Tally runs without its menu until one appears");
    tray_ = std::make_unique<QSystemTrayIcon>();
    tray_->setContextMenu(menu_.get());
    // Windows closes a tray menu on a click elsewhere only when it is the foreground window.
    connect(menu_.get(), &QMenu::aboutToShow, this, [this] {
        QTimer::singleShot(0, menu_.get(), [this] { platform::Desktop::bringMenuToFront(menu_->winId()); });
    });
    if (!platform::Desktop::trayClickOpensMenu())
        connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](auto reason) {
            if (reason == QSystemTrayIcon::Trigger) menu_->popup(QCursor::pos());
        });
    connect(model_.get(), &AppModel::stateChanged, this, &TallyApp::showState);
    connect(model_.get(), &AppModel::manualChanged, this, &TallyApp::showState);
    connect(model_.get(), &AppModel::pausedChanged, this, &TallyApp::showState);
    connect(model_.get(), &AppModel::paletteChanged, this, &TallyApp::showState);
    connect(model_.get(), &AppModel::hoursChanged, this, &TallyApp::showState);
    showState();
    tray_->show();
}

TallyApp::~TallyApp() {
    tray_.reset();
    menu_.reset();
    sleepWatcher_.reset();
    model_.reset();
}

void TallyApp::showYourself() {
    Log::write("Tally was started again: this one runs on");
    if (QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages())
        tray_->showMessage(QStringLiteral("Tally"), QStringLiteral("Tally is already running, here."));
}

void TallyApp::showState() {
    if (!tray_) return;
    const LightState shown = model_->shown();
    const bool byHand = model_->manual() && shown == *model_->manual();
    IconMark mark = byHand ? IconMark::byHand : IconMark::none;
    if (model_->outsideHours() && !byHand) mark = IconMark::outsideHours;
    if (model_->paused()) mark = IconMark::paused;
    tray_->setIcon(trayIcon(model_->lookOf(shown), mark));
    tray_->setToolTip(trayToolTip(*model_));
}

}  // namespace tally
