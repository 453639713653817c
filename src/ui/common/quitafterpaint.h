#pragma once
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <functional>

namespace ui {

// Runs `then` once the watched widget's first paint has finished, on the next turn
// of the event loop: after what a user sees, not merely after a window was asked to
// show. Filters installed later on the same widget run first.
class AfterFirstPaint : public QObject
{
public:
    AfterFirstPaint(QObject *parent, std::function<void()> then)
        : QObject(parent)
        , m_then(std::move(then))
    {
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                m_then();
                deleteLater();
            });
        }
        return false;
    }

private:
    std::function<void()> m_then;
};

// Ends the application after the watched widget's first paint: start-up and its
// benchmark floor end the same way through it.
class QuitAfterPaint : public AfterFirstPaint
{
public:
    explicit QuitAfterPaint(QObject *parent)
        : AfterFirstPaint(parent, [] { QCoreApplication::quit(); })
    {
    }
};

} // namespace ui
