#include "ui/common/windowkeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace ui {

WindowKeys::WindowKeys(QWidget *window, Handler handler)
    : QObject(window)
    , m_window(window)
    , m_handler(std::move(handler))
{
    // Application-wide, so that controls made after the window are covered too.
    qApp->installEventFilter(this);
}

bool WindowKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto *w = static_cast<QWidget *>(watched);
    // A key that the focused control ignores travels on to its parents; it has
    // been handled at its first stop.
    const QWidget *focus = QApplication::focusWidget();
    const bool firstStop
        = w == focus ? w->window() == m_window : w == m_window && (!focus || focus->window() != m_window);
    return firstStop && m_handler(w, static_cast<QKeyEvent *>(event));
}

} // namespace ui
