#pragma once
// Driving windows as a user does: clicks and keys delivered through the window,
// as the window system delivers them.
#include <QAbstractItemView>
#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace drive {

inline void click(QWidget *w, Qt::KeyboardModifiers mods = {})
{
    QWidget *top = w->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, mods, w->mapTo(top, w->rect().center()));
    QCoreApplication::processEvents();
}

inline QModelIndex firstVisible(QAbstractItemView *v, int row)
{
    QAbstractItemModel *m = v->model();
    if (auto *t = qobject_cast<QTableView *>(v)) {
        const QHeaderView *h = t->horizontalHeader();
        for (int visual = 0; visual < h->count(); ++visual) {
            const int logical = h->logicalIndex(visual);
            if (!t->isColumnHidden(logical))
                return m->index(row, logical);
        }
    }
    return m->index(row, 0);
}

inline void clickRow(QAbstractItemView *v, int row, Qt::KeyboardModifiers mods = {}, int column = -1)
{
    const QModelIndex idx = column < 0 ? firstVisible(v, row) : v->model()->index(row, column);
    v->scrollTo(idx);
    QWidget *top = v->window();
    const QPoint at = v->viewport()->mapTo(top, v->visualRect(idx).center());
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, mods, at);
    QCoreApplication::processEvents();
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

} // namespace drive
