#include "ui/common/conventions.h"
#include "core/app/clock.h"
#include "core/app/dates.h"
#include "ui/common/placement.h"
#include "ui/common/services.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>

namespace ui::conventions {

namespace {
const char *const kPosition = "qb_tabPosition";
const char *const kOrder = "qb_loadOrder";
} // namespace

void setTabPosition(QWidget *control, int position)
{
    control->setProperty(kPosition, position);
    // Remember the order in which the window's controls were set up.
    QWidget *win = control->window();
    QList<QPointer<QWidget>> order = win->property(kOrder).value<QList<QPointer<QWidget>>>();
    order.append(control);
    win->setProperty(kOrder, QVariant::fromValue(order));
}

int tabPosition(const QWidget *control)
{
    const QVariant v = control ? control->property(kPosition) : QVariant();
    return v.isValid() ? v.toInt() : -1;
}

bool advanceOnEnter(QWidget *window)
{
    QWidget *focused = QApplication::focusWidget();
    if (!focused || focused->window() != window)
        return false;
    // A composite control's inner widget stands for the control.
    while (focused && tabPosition(focused) < 0 && focused != window)
        focused = focused->parentWidget();
    const int a = tabPosition(focused);
    if (a < 0)
        return false;
    const auto order = window->property(kOrder).value<QList<QPointer<QWidget>>>();
    for (const QPointer<QWidget> &c : order) {
        if (!c || tabPosition(c) != a + 1)
            continue;
        if (!c->isEnabled() || !c->isVisible() || c->focusPolicy() == Qt::NoFocus)
            return false; // never skips over it to a later position
        // Marked as a keyboard move, so that the style shows the focus as after Tab.
        window->setAttribute(Qt::WA_KeyboardFocusChange);
        c->setFocus(Qt::TabFocusReason);
        return true;
    }
    return false;
}

bool producesCharacter(int key, const QString &text)
{
    if (key == Qt::Key_Backspace || key == Qt::Key_Return || key == Qt::Key_Enter)
        return true;
    if (key == Qt::Key_Delete || key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Escape)
        return false;
    return !text.isEmpty() && text.at(0).isPrint();
}

QString capitals(const QString &typed)
{
    // The simple mapping, one character for one: full upper-casing turns "ß" into
    // "SS", which a length-limited field would not hold.
    QList<uint> chars = typed.toUcs4();
    for (uint &c : chars)
        c = QChar::toUpper(c);
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(chars.constData()), chars.size());
}

EditorKeys::EditorKeys(QWidget *window, std::function<void()> onCharacter)
    : WindowKeys(window, [window, onCharacter](QWidget *target, QKeyEvent *key) {
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            advanceOnEnter(window);

        const QString upper = capitals(key->text());
        if (upper != key->text() && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
            // Deliver the capital instead; the control receives it as if typed.
            QKeyEvent capital(QEvent::KeyPress, key->key(), key->modifiers(), upper, key->isAutoRepeat(),
                              ushort(key->count()));
            QCoreApplication::sendEvent(target, &capital);
            return true;
        }
        if (onCharacter && producesCharacter(key->key(), key->text()))
            onCharacter();
        return false;
    })
{
    // Keys whose text is not a character of their own (Ctrl+V pastes) and composed
    // characters change the text too.
    if (onCharacter)
        for (QLineEdit *f : window->findChildren<QLineEdit *>())
            QObject::connect(f, &QLineEdit::textEdited, this, [onCharacter] { onCharacter(); });
}

bool EditorKeys::eventFilter(QObject *watched, QEvent *event)
{
    // Dead keys and input methods deliver what was typed as a commit, not as a key.
    if (event->type() == QEvent::InputMethod && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == window()) {
        auto *typed = static_cast<QInputMethodEvent *>(event);
        const QString upper = capitals(typed->commitString());
        if (upper != typed->commitString()) {
            QInputMethodEvent capital(typed->preeditString(), typed->attributes());
            capital.setCommitString(upper, typed->replacementStart(), typed->replacementLength());
            QCoreApplication::sendEvent(watched, &capital);
            return true;
        }
    }
    return WindowKeys::eventFilter(watched, event);
}

void presentCentred(QWidget *window)
{
    if (!window->property("qb_centred").toBool()) {
        centreOnScreen(window);
        cascadeFrom(window, QApplication::activeWindow());
        window->setProperty("qb_centred", true);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void installDateCheck(QLineEdit *field)
{
    class DateCheck : public QObject
    {
    public:
        using QObject::QObject;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::FocusOut) {
                auto *f = static_cast<QLineEdit *>(watched);
                // Only when the focus goes to another control of this window: a look
                // at another window or a menu must not rewrite a date half typed.
                const QWidget *next = QApplication::focusWidget();
                if (!next || next == f || next->window() != f->window())
                    return false;
                const QDate today = core::today();
                f->setText(dates::checkedText(f->text(), today));
            }
            return false;
        }
    };
    field->installEventFilter(new DateCheck(field));
}

} // namespace ui::conventions
