#include "ui/common/placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace ui {

void centreOnScreen(QWidget *window)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r(QPoint(0, 0), window->size());
        r.moveCenter(screen->availableGeometry().center());
        window->move(r.topLeft());
    }
}

void cascadeFrom(QWidget *window, const QWidget *opener)
{
    if (!opener || opener == window || !opener->isVisible())
        return;
    const QRect frame = opener->frameGeometry();
    if (!QRect(window->pos(), window->size()).contains(frame.topLeft()))
        return; // the opener's caption stays in sight
    const int step = qMax(28, opener->geometry().top() - frame.top());
    QPoint at = frame.topLeft() + QPoint(step, step);
    if (const QScreen *screen = opener->screen()) {
        const QRect free = screen->availableGeometry();
        at.setX(qMax(free.left(), qMin(at.x(), free.right() + 1 - window->width())));
        at.setY(qMax(free.top(), qMin(at.y(), free.bottom() + 1 - window->height())));
    }
    window->move(at);
}

void centreOver(QWidget *window, const QWidget *anchor)
{
    const QScreen *screen = anchor->screen() ? anchor->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect avail = screen->availableGeometry();
    QRect r(QPoint(0, 0), window->size().boundedTo(avail.size()));
    r.moveCenter(anchor->frameGeometry().center());
    r.moveLeft(std::clamp(r.left(), avail.left(), avail.right() - r.width() + 1));
    r.moveTop(std::clamp(r.top(), avail.top(), avail.bottom() - r.height() + 1));
    window->resize(r.size());
    window->move(r.topLeft());
}

} // namespace ui
