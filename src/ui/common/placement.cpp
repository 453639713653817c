#include "ui/common/placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace ui {

void centreOnScreen(QWidget *window)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(0, 0), window->size());
        r.moveCenter(screen->availableGeometry().center());
        window->move(r.topLeft());
    }
}

} // namespace ui
