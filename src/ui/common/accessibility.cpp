#include "ui/common/accessibility.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace ui {

namespace {

// Asked for each class of an object from the most derived up: a window built on a
// plain QWidget reaches "QWidget" with nothing more specific found on the way.
QAccessibleInterface *windowRole(const QString &className, QObject *object)
{
    if (className != QLatin1String("QWidget") || !object || !object->isWidgetType())
        return nullptr;
    auto *w = static_cast<QWidget *>(object);
    const Qt::WindowType type = w->windowType();
    if (type != Qt::Window && type != Qt::Dialog)
        return nullptr;
    // The name is left to the widget: it follows the caption.
    return new QAccessibleWidget(w, type == Qt::Dialog ? QAccessible::Dialog : QAccessible::Window);
}

} // namespace

void installWindowRoles()
{
    static const bool installed = (QAccessible::installFactory(&windowRole), true);
    Q_UNUSED(installed);
}

} // namespace ui
