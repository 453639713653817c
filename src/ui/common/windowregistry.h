#pragma once
#include "ui/common/corenames.h"
#include <QHash>
#include <QPointer>
#include <QWidget>

namespace ui {

// One instance per window type: the first use creates it, closing destroys it, and
// the next use creates it afresh.
class WindowRegistry
{
public:
    template <class T>
    static T *get()
    {
        QPointer<QWidget> &slot = slotFor(&T::staticMetaObject);
        if (!alive(slot)) {
            T *w = new T;
            w->setAttribute(Qt::WA_DeleteOnClose);
            slot = w;
        }
        return static_cast<T *>(slot.data());
    }

    // The open instance, or nullptr; never creates one.
    template <class T>
    static T *existing()
    {
        QPointer<QWidget> &slot = slotFor(&T::staticMetaObject);
        return alive(slot) ? static_cast<T *>(slot.data()) : nullptr;
    }

    // Closes and destroys every registered window at once (tests).
    static void destroyAll();

private:
    static QPointer<QWidget> &slotFor(const QMetaObject *type);
    static bool alive(const QPointer<QWidget> &w);
};

template <class T>
T *window()
{
    return WindowRegistry::get<T>();
}

} // namespace ui
