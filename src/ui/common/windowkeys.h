#pragma once
#include <QObject>
#include <functional>

class QKeyEvent;
class QWidget;

namespace ui {

// Lets a window see every key press before the control that has its focus. Each
// key is handed over once, at its first stop: the window's focused control, or the
// window itself when none of its controls has the focus. The handler returns true
// when it has dealt with the key, which then goes no further.
class WindowKeys : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<bool(QWidget *target, QKeyEvent *key)>;
    WindowKeys(QWidget *window, Handler handler);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    QWidget *window() const { return m_window; }

private:
    QWidget *m_window;
    Handler m_handler;
};

} // namespace ui
