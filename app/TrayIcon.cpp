#include "TrayIcon.h"

#include <algorithm>

#include <QPainter>
#include <QPixmap>

namespace tally {

QIcon trayIcon(const Look& look, IconMark mark) {
    // Drawn for each size (Windows: 16 at 100%, 20, 24 and 32 as the scale grows), so that none
    // is a blurred scaling of another. The drawing is for 64 units.
    QIcon icon;
    const bool dark = look.red == 0 && look.green == 0 && look.blue == 0;
    const QColor fill = dark ? QColor(0x30, 0x30, 0x30) : QColor(look.red, look.green, look.blue);
    for (const int size : {16, 20, 24, 32, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal unit = size / 64.0;
        const auto square = [unit](qreal from, qreal width) { return QRectF(from * unit, from * unit, width * unit, width * unit); };
        const qreal edge = std::max(1.0, 4 * unit);
        // The dark edge outside, the light one inside it: one of them contrasts with any panel.
        painter.setPen(QPen(QColor(0, 0, 0, 220), edge));
        const bool hollow = mark == IconMark::paused || mark == IconMark::outsideHours;
        painter.setBrush(hollow ? QBrush(Qt::NoBrush) : QBrush(fill));
        painter.drawEllipse(square(5, 54));
        painter.setPen(QPen(QColor(255, 255, 255, 230), std::max(1.0, 2.5 * unit)));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(square(9, 46));
        if (mark == IconMark::paused) {
            // Two bars, white edged in black.
            for (const qreal x : {22.0, 36.0}) {
                const QRectF bar(x * unit, 20 * unit, 7 * unit, 24 * unit);
                painter.setPen(QPen(QColor(0, 0, 0, 220), std::max(1.0, 2 * unit)));
                painter.setBrush(QColor(255, 255, 255));
                painter.drawRect(bar);
            }
        } else if (look.pulse && !hollow) {
            painter.setPen(QPen(Qt::white, std::max(1.0, 5 * unit)));
            painter.drawEllipse(square(22, 20));
        }
        if (mark == IconMark::byHand) {
            painter.setPen(QPen(QColor(0, 0, 0, 230), std::max(1.0, 3 * unit)));
            painter.setBrush(Qt::white);
            painter.drawEllipse(QRectF(40 * unit, 40 * unit, 22 * unit, 22 * unit));
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace tally
