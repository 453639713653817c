#pragma once
#include "ui/common/corenames.h"
#include <QList>
#include <QString>
#include <QVariant>
#include <QWidget>

#include <functional>

#include "core/db/datasource.h"
#include "core/db/queries.h"
#include "core/reports/reportlayout.h"

class QAbstractItemDelegate;
class QFrame;
class QPushButton;
class QTableView;
class QHBoxLayout;

namespace ui {

// What the three list windows share: a grid over the query holder ADOlist in a
// panel (PicContainer), a button panel (PicButtons) along the bottom, the rule for
// the chosen row, printing a report at once, and the re-read of the registers that
// closing the window asks for.
class ListWindow : public QWidget
{
    Q_OBJECT
public:
    struct Column
    {
        const char *caption;
        const char *field;
        bool shown;
        int width; // pixels
    };

    ListWindow(const QString &objectName, const QString &caption, const char *gridName);

    void Ocultar() { close(); }
    DataSource *ADOlist() const { return m_list; }
    QTableView *grid() const { return m_grid; }

protected:
    QPushButton *addButton(const char *name, const QString &caption);
    struct Buttons
    {
        QPushButton *print, *refresh, *del, *edit, *acept, *cancel;
    };
    // The row of buttons every list has, left to right after a stretch: "Print",
    // "Refresh" (re-runs the query), "Delete" (the chosen row, from `table`), "Edit"
    // (`open` gets the chosen row's id), "Acept" and "Cancel" (closes).
    Buttons addListButtons(std::function<void()> print, const QString &table, std::function<void(qint64)> open,
                           std::function<void()> acept);
    QHBoxLayout *buttonRow() const { return m_buttonRow; }
    void setColumns(const QList<Column> &columns);

    // Runs the query into the grid; a list that cannot be read says so.
    bool fill(const Query &query);
    // Re-runs the current query.
    bool requery();

    // The chosen row: the row selected first, else the row holding the cursor.
    // False when the list is empty.
    bool choose();
    QVariant chosen(const QString &column) const { return m_list->field(column); }
    // Calls `refresh` after each write to one of `written` and each delete from one of
    // `deleted` (the catch-all re-reads that closing windows ask for are the main
    // window's alone).
    void followChanges(const QStringList &written, const QStringList &deleted, std::function<void()> refresh);
    // Deletes the chosen row from `table`, with no question and nothing else touched,
    // then this list and the main window's re-read. A refused delete says nothing.
    void deleteChosen(const QString &table);
    // Hands the chosen row's id to `open`; nothing when no row is chosen.
    void editChosen(const std::function<void(qint64)> &open);

    // Reads the rows, then prints them at once on the default printer. Failures
    // show their number and description and the next step runs; no rows gives
    // "There are not Registers".
    void printReport(const reports::ReportLayout &layout, const Query &query, const QString &title);

    void present();
    void closeEvent(QCloseEvent *event) override;

private:
    void applyColumns();

    DataSource *m_list;
    QFrame *m_container;
    QFrame *m_buttons;
    QTableView *m_grid;
    QHBoxLayout *m_buttonRow;
    QList<Column> m_columns;
    QList<QAbstractItemDelegate *> m_delegates; // one per column of m_columns
    QStringList m_followWritten, m_followDeleted;
};

// The id of a row as the windows hand it on: its plain decimal text.
QString idText(const QVariant &id);

} // namespace ui
