#include "ui/common/windowregistry.h"
#include "ui/common/accessibility.h"

namespace ui {

namespace {

QHash<const QMetaObject *, QPointer<QWidget>> &registrySlots()
{
    static QHash<const QMetaObject *, QPointer<QWidget>> s;
    return s;
}

} // namespace

QPointer<QWidget> &WindowRegistry::slotFor(const QMetaObject *type)
{
    installWindowRoles(); // before any window of ours is asked for its role
    return registrySlots()[type];
}

bool WindowRegistry::alive(const QPointer<QWidget> &w)
{
    // A closed window waits for its deferred delete; Qt clears WA_DeleteOnClose
    // when it schedules that, so such a window no longer counts as open.
    return !w.isNull() && w->testAttribute(Qt::WA_DeleteOnClose);
}

void WindowRegistry::destroyAll()
{
    const auto all = registrySlots();
    registrySlots().clear();
    for (const QPointer<QWidget> &w : all)
        delete w.data();
}

} // namespace ui
