#include "TallyApp.h"

#include <algorithm>

#include <QApplication>
#include <QCursor>
#include <QFontDatabase>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

#include "Desktop.h"
#include "Log.h"
#include "MenuContent.h"
#include "Text.h"
#include "Wiring.h"

namespace tally {

namespace {

// The disc drawn where no colour emoji font exists, in the colours of the emoji.
QColor discColour(LightState state) {
    switch (state) {
        case LightState::available: return QColor(0x2e, 0xb8, 0x4b);
        case LightState::busy: return QColor(0xe0, 0x24, 0x24);
        case LightState::inCall: return QColor(0xe0, 0x24, 0x24);
        case LightState::dnd: return QColor(0x96, 0x3c, 0xe6);
        case LightState::away: return QColor(0xf5, 0xb8, 0x00);
        case LightState::off: return QColor(0x20, 0x20, 0x20);
        case LightState::unknown: return QColor(0x2a, 0x6f, 0xe8);
    }
    return Qt::gray;
}

const std::optional<QString>& systemEmojiFont() {
    static const std::optional<QString> font = TallyApp::emojiFontAmong(QFontDatabase::families());
    return font;
}

}  // namespace

std::optional<QString> TallyApp::emojiFontAmong(const QStringList& families) {
    // Each system's own colour emoji font: macOS, Linux, Windows.
    for (const auto* name : {"Apple Color Emoji", "Noto Color Emoji", "Segoe UI Emoji"})
        if (families.contains(QString::fromLatin1(name))) return QString::fromLatin1(name);
    return std::nullopt;
}

QIcon TallyApp::iconFor(LightState state) {
    // Drawn at each size a tray asks for (Windows: 16 at 100%, 20, 24 and 32 as the scale grows),
    // so that none is a blurred scaling of another.
    QIcon icon;
    for (const int size : {16, 20, 24, 32, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        if (const auto& emoji = systemEmojiFont()) {
            QFont font(*emoji);
            font.setPixelSize(size * 3 / 4);
            painter.setFont(font);
            painter.drawText(pixmap.rect(), Qt::AlignCenter, qText(tally::icon(state)));
        } else {
            const qreal unit = size / 64.0;  // the drawing below is for 64 px
            painter.setPen(Qt::NoPen);
            painter.setBrush(discColour(state));
            painter.drawEllipse(QRectF(6 * unit, 6 * unit, size - 12 * unit, size - 12 * unit));
            if (state == LightState::inCall) {  // the pulsing red of a call: a white ring inside
                painter.setPen(QPen(Qt::white, std::max(1.0, 5 * unit)));
                painter.setBrush(Qt::NoBrush);
                painter.drawEllipse(QRectF(20 * unit, 20 * unit, size - 40 * unit, size - 40 * unit));
            }
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

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
    connect(qApp, &QCoreApplication::aboutToQuit, this,
            [this] { model_->finish("the desktop session ends"); });

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
    tray_->setIcon(iconFor(model_->shown()));
    tray_->setToolTip(trayToolTip(*model_));
}

}  // namespace tally
