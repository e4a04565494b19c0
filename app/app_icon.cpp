#include "app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace tolvane::app {

namespace {

// Drawn on a 256 × 256 grid and scaled to the requested size.
constexpr double kGrid = 256.0;

}  // namespace

QImage DrawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.scale(size / kGrid, size / kGrid);
    painter.setPen(Qt::NoPen);

    // Tile.
    QLinearGradient tile(0, 0, 0, kGrid);
    tile.setColorAt(0.0, QColor(38, 166, 154));
    tile.setColorAt(1.0, QColor(0, 105, 92));
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

    // Picture card: sky, sun and two hills.
    const QRectF card(40, 44, 160, 124);
    painter.setBrush(QColor(250, 250, 250));
    painter.drawRoundedRect(card.adjusted(-8, -8, 8, 8), 14, 14);
    painter.setBrush(QColor(129, 212, 250));
    painter.drawRect(card);
    painter.setBrush(QColor(255, 213, 79));
    painter.drawEllipse(QPointF(160, 80), 18, 18);
    QPainterPath hills;
    hills.moveTo(card.left(), card.bottom());
    hills.lineTo(card.left(), 140);
    hills.lineTo(88, 96);
    hills.lineTo(128, 136);
    hills.lineTo(150, 116);
    hills.lineTo(card.right(), 156);
    hills.lineTo(card.right(), card.bottom());
    hills.closeSubpath();
    painter.setBrush(QColor(67, 160, 71));
    painter.drawPath(hills);

    // Shrink badge: an orange disc with a downward arrow.
    painter.setBrush(QColor(255, 112, 67));
    painter.drawEllipse(QPointF(184, 184), 50, 50);
    QPainterPath arrow;
    arrow.moveTo(172, 150);
    arrow.lineTo(196, 150);
    arrow.lineTo(196, 182);
    arrow.lineTo(212, 182);
    arrow.lineTo(184, 214);
    arrow.lineTo(156, 182);
    arrow.lineTo(172, 182);
    arrow.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(arrow);

    painter.end();
    return image;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
    }
    return icon;
}

}  // namespace tolvane::app
