#pragma once
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>

namespace ui {

// Ends the application after the watched widget's first paint has finished: what
// a user sees, not merely a window asked to show. Start-up and its benchmark floor
// end the same way through it.
class QuitAfterPaint : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return false;
    }
};

} // namespace ui
