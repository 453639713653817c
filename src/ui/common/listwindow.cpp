#include "ui/common/listwindow.h"
#include "core/app/clock.h"

#include "core/app/dates.h"
#include "core/db/queries.h"
#include "core/db/registers.h"
#include "core/db/rowset.h"
#include "ui/common/conventions.h"
#include "ui/common/services.h"
#include "ui/reports/reportoutput.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QScreen>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace ui {

namespace {

// Dates in short form and yes/no as the check the user knows; everything else as stored.
class ListDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant &value, const QLocale &locale) const override
    {
        if (isDate)
            return dates::toShort(value);
        // As the printed lists show a yes/no column.
        if (isYesNo && !value.isNull() && !value.toString().isEmpty())
            return value.toInt() == 0 ? QStringLiteral("No") : QStringLiteral("Yes");
        return QStyledItemDelegate::displayText(value, locale);
    }
    bool isDate = false;
    bool isYesNo = false;
};

} // namespace

QString idText(const QVariant &id)
{
    return QString::number(id.toLongLong());
}

ListWindow::ListWindow(const QString &objectName, const QString &caption, const char *gridName)
    : QWidget(nullptr, Qt::Window)
    , m_list(new DataSource(this))
{
    setObjectName(objectName);
    setWindowTitle(caption);
    m_list->setObjectName(QStringLiteral("ADOlist"));
    resize(760, 420);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    m_container = new QFrame(this);
    m_container->setObjectName(QStringLiteral("PicContainer"));
    auto *inner = new QVBoxLayout(m_container);
    inner->setContentsMargins(4, 4, 4, 4);
    m_grid = new QTableView(m_container);
    m_grid->setObjectName(QLatin1String(gridName));
    m_grid->setAccessibleName(caption);
    m_grid->setModel(m_list->model());
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(false);
    m_grid->horizontalHeader()->setStretchLastSection(true);
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(m_grid->fontMetrics().height() + 6);
    m_grid->verticalHeader()->setMinimumWidth(16);
    inner->addWidget(m_grid);
    outer->addWidget(m_container, 1);

    m_buttons = new QFrame(this);
    m_buttons->setObjectName(QStringLiteral("PicButtons"));
    m_buttons->setFrameShape(QFrame::StyledPanel);
    m_buttonRow = new QHBoxLayout(m_buttons);
    m_buttonRow->setContentsMargins(8, 6, 8, 6);
    outer->addWidget(m_buttons);
    connect(m_list, &DataSource::refreshed, this, &ListWindow::applyColumns);
}

QPushButton *ListWindow::addButton(const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, m_buttons);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    m_buttonRow->addWidget(b);
    return b;
}

ListWindow::Buttons ListWindow::addListButtons(std::function<void()> print, const QString &table,
                                               std::function<void(qint64)> open, std::function<void()> acept)
{
    m_buttonRow->addStretch(1);
    Buttons b{addButton("CmdPrint", QStringLiteral("Print")),   addButton("cmdrefresh", QStringLiteral("Refresh")),
              addButton("CmdDelete", QStringLiteral("Delete")), addButton("CmdEdit", QStringLiteral("Edit")),
              addButton("CmdAcept", QStringLiteral("Acept")),   addButton("CmdCancel", QStringLiteral("Cancel"))};
    connect(b.print, &QPushButton::clicked, this, std::move(print));
    connect(b.refresh, &QPushButton::clicked, this, [this] { requery(); });
    connect(b.del, &QPushButton::clicked, this, [this, table] { deleteChosen(table); });
    connect(b.edit, &QPushButton::clicked, this, [this, open = std::move(open)] { editChosen(open); });
    connect(b.acept, &QPushButton::clicked, this, std::move(acept));
    connect(b.cancel, &QPushButton::clicked, this, &ListWindow::Ocultar);
    return b;
}

void ListWindow::setColumns(const QList<Column> &columns)
{
    m_columns = columns;
    // One delegate per listed column for the window's life; every query reuses them.
    qDeleteAll(m_delegates);
    m_delegates.clear();
    for (const Column &col : columns) {
        auto *d = new ListDelegate(m_grid);
        d->isDate = QByteArray(col.field).compare("pickupdate", Qt::CaseInsensitive) == 0;
        d->isYesNo = QByteArray(col.field).compare("active", Qt::CaseInsensitive) == 0;
        m_delegates << d;
    }
}

void ListWindow::applyColumns()
{
    // The grid shows the listed columns in their order, whatever the select list.
    QAbstractItemModel *m = m_list->model();
    QHeaderView *h = m_grid->horizontalHeader();
    for (int c = 0; c < m->columnCount(); ++c)
        m_grid->setColumnHidden(c, true);
    int visual = 0;
    for (qsizetype i = 0; i < m_columns.size(); ++i) {
        const Column &col = m_columns.at(i);
        const int c = m_list->column(QLatin1String(col.field));
        if (c < 0 || !m_grid->isColumnHidden(c))
            continue; // a column bound twice shows once
        m->setHeaderData(c, Qt::Horizontal, QLatin1String(col.caption));
        m_grid->setColumnHidden(c, !col.shown);
        m_grid->setColumnWidth(c, col.width);
        h->moveSection(h->visualIndex(c), visual++);
        m_grid->setItemDelegateForColumn(c, m_delegates.at(i));
    }
}

bool ListWindow::fill(const Query &query)
{
    m_list->setQuery(query);
    return requery();
}

bool ListWindow::requery()
{
    if (m_list->refresh())
        return true;
    message(QStringLiteral("The list cannot be read: %1").arg(m_list->lastFailure().description), QString(),
            QMessageBox::Warning);
    return false;
}

bool ListWindow::choose()
{
    if (m_list->setCurrentFromSelection(m_grid->selectionModel()))
        return true;
    const QModelIndex cursor = m_grid->currentIndex();
    if (cursor.isValid())
        return m_list->setCurrentRow(cursor.row());
    return m_list->setCurrentRow(m_list->currentRow());
}

void ListWindow::followChanges(const QStringList &written, const QStringList &deleted, std::function<void()> refresh)
{
    m_followWritten = written;
    m_followDeleted = deleted;
    connect(
        &registers(), &Registers::changed, this,
        [this, refresh = std::move(refresh)](const QString &table, Registers::Change how) {
            if ((how == Registers::Deleted ? m_followDeleted : m_followWritten).contains(table, Qt::CaseInsensitive))
                refresh();
        });
}

void ListWindow::editChosen(const std::function<void(qint64)> &open)
{
    if (!choose())
        return;
    const QVariant id = chosen(QStringLiteral("id"));
    if (!id.isNull())
        open(id.toLongLong());
}

void ListWindow::deleteChosen(const QString &table)
{
    if (!choose())
        return;
    const bool deleted = deleteRecord(table, chosen(QStringLiteral("id")).toLongLong());
    if (!deleted)
        registers().announce(); // the main window re-reads all the same
    if (!deleted || !m_followDeleted.contains(table, Qt::CaseInsensitive))
        requery(); // else the announcement has re-read this list already
}

void ListWindow::printReport(const reports::ReportLayout &layout, const Query &query, const QString &title)
{
    // The rows are read while the pages are made, never all at once.
    Failure failure;
    const std::optional<bool> any = hasRows(query, &failure);
    if (!any) {
        message(failure.text());
        return;
    }
    if (!*any) {
        message(QStringLiteral("There are not Registers"));
        return;
    }
    if (services().reports)
        services().reports->print(reports::registerJob(layout, query, title, core::today()));
}

void ListWindow::present()
{
    conventions::presentCentred(this);
}

void ListWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        registers().announce(); // the main window re-reads whenever a list closes
}

} // namespace ui
