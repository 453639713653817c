#include "ui/main/appicon.h"

#include <QPainter>
#include <QPixmap>

namespace ui {

namespace {

// The picture of resources/icons/org.quillbern.Quillbern.svg, on a 64-pixel grid.
QIcon drawnIcon()
{
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(22, 62, 122));
    p.drawRoundedRect(QRectF(2, 2, 59, 59), 10, 10);
    const QColor ink(196, 220, 245);
    p.setPen(QPen(ink, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(14, 26, 36, 26));
    p.drawPolyline(QPolygonF({QPointF(10, 28), QPointF(32, 10), QPointF(54, 28)}));
    p.fillRect(QRectF(28, 38, 8, 14), ink);
    p.end();
    return QIcon(pm);
}

} // namespace

QIcon appIcon()
{
    return QIcon::fromTheme(kAppId, drawnIcon());
}

} // namespace ui
