#pragma once
// Driving windows as a user does (clicks and keys delivered through the window, as
// the window system delivers them) and reading back what they show.
#include "support/names.h"
#include "core/db/rowset.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include "core/db/rowwindow.h"
#include <QTableView>
#include <QTest>
#include <QWindow>

namespace drive {

// A click at `at` in `w`, delivered through its window.
inline void click(QWidget *w, Qt::KeyboardModifiers mods = {}, std::optional<QPoint> at = {})
{
    QWidget *top = w->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, mods, w->mapTo(top, at.value_or(w->rect().center())));
    QCoreApplication::processEvents();
}

// A click on the first shown cell of `row`.
inline void clickRow(QAbstractItemView *v, int row, Qt::KeyboardModifiers mods = {})
{
    int column = 0;
    if (auto *l = qobject_cast<QListView *>(v))
        column = l->modelColumn();
    if (auto *t = qobject_cast<QTableView *>(v))
        for (int visual = t->horizontalHeader()->count() - 1; visual >= 0; --visual)
            if (!t->isColumnHidden(t->horizontalHeader()->logicalIndex(visual)))
                column = t->horizontalHeader()->logicalIndex(visual);
    const QModelIndex idx = v->model()->index(row, column);
    v->scrollTo(idx);
    click(v->viewport(), mods, v->visualRect(idx).center());
}

// Types into whatever has the focus in `w`'s window.
inline void type(QWidget *w, const QString &text)
{
    for (QChar c : text)
        QTest::keyClick(w->window()->windowHandle(), c.toLatin1());
}

inline void key(QWidget *w, Qt::Key k, Qt::KeyboardModifiers mods = {})
{
    QTest::keyClick(w->window()->windowHandle(), k, mods);
}

// Field `name` of `w` focused, emptied and typed into.
inline void retype(QWidget *w, const char *name, const QString &text)
{
    auto *f = w->findChild<QLineEdit *>(QLatin1String(name));
    f->setFocus();
    f->clear();
    type(w, text);
}

} // namespace drive

namespace ui {

inline QAbstractButton *button(QWidget *w, const char *name)
{
    return w->findChild<QAbstractButton *>(QLatin1String(name));
}

inline QLineEdit *field(QWidget *w, const char *name)
{
    return w->findChild<QLineEdit *>(QLatin1String(name));
}

// A click on a visible, enabled button of `w`.
inline void press(QWidget *w, const char *name)
{
    QAbstractButton *b = button(w, name);
    QVERIFY2(b && b->isVisible() && b->isEnabled(), name);
    QTest::mouseClick(b, Qt::LeftButton);
}

inline QStringList texts(QListView *v)
{
    QStringList out;
    for (int r = 0; r < v->model()->rowCount(); ++r)
        out << v->model()->index(r, v->modelColumn()).data().toString();
    return out;
}

inline QStringList spoken(QWidget *w) // what assistive technology reads in `w`: the name of each item
{
    QStringList out;
    for (QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w); out.size() < a->childCount();)
        out << a->child(int(out.size()))->text(QAccessible::Name);
    return out;
}

// One column of a query grid, every row.
inline QStringList column(QTableView *g, const QString &field)
{
    auto *m = qobject_cast<core::db::RowWindow *>(g->model());
    QStringList out;
    for (int r = 0, c = m->column(field); r < m->rowCount(); ++r)
        out << m->index(r, c).data().toString();
    return out;
}

inline QStringList column(const RowSet &rows, const QString &field)
{
    QStringList out;
    for (int r = 0; r < rows.size(); ++r)
        out << rows.value(r, field).toString();
    return out;
}

inline QStringList sorted(QStringList l)
{
    l.sort();
    return l;
}

} // namespace ui
