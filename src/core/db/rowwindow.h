#pragma once
#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QVariant>

#include <utility>

#include "core/app/failure.h"
#include "core/db/queries.h"

namespace core::db {

// The rows of a query as a view's model, without holding them all: the row count
// comes from the database, and the rows are read a page at a time around what is
// asked for (from whichever end of the ordering is nearer), then forgotten when
// newer pages need the room. No statement stays open between reads.
class RowWindow : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kPageRows = 128;
    static constexpr int kKeptPages = 32;
    // Rows from the nearer end past which a page is read by key, not by skipping.
    static constexpr qint64 kFarRows = 8 * kPageRows;

    explicit RowWindow(QObject *parent = nullptr);

    // Counts the rows of `query` and learns its columns; false (and an empty model)
    // when it cannot be read. With `countLater`, a first page that is full is all the
    // model holds until countNow() (the rows past it then arrive as inserted), or
    // something needs a row past the first page or the exact count: a long list can
    // be drawn without first stepping over every row.
    bool load(const Query &query, Failure *why = nullptr, bool countLater = false);
    // Counts the rows when the count was left for later.
    void countNow() const;
    // The number of rows, counted now if the count was left for later.
    qint64 exactCount() const;
    void clear();

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;

    QStringList columns() const { return m_columns; }
    // Column index by name, ignoring case; -1 when absent.
    int column(const QString &name) const;
    QVariant value(int row, int column) const;
    // The row whose `column` equals `value`, or -1. Found by its position when the
    // rows are ordered by that column alone, else by reading page after page.
    int findRow(const QString &column, const QVariant &value) const;
    // Pages held now (for the benchmarks and tests of the window's bounds).
    int keptPages() const { return int(m_pages.size()); }

private:
    struct Page
    {
        QList<QVariantList> rows;
        quint64 used = 0;
    };
    const Page *page(qint64 number) const;
    // Holds `page` as page `number`, forgetting the least recently used one when full.
    const Page *keep(qint64 number, Page page) const;
    // The rows of a page far from both ends, read by the key of the row before it;
    // nothing when it is near one or cannot be read so.
    std::optional<RowSet> farPage(qint64 first, int limit, bool fromEnd) const;
    // Reads the page of `row`, whose ordering column holds `key`, by that key.
    void keyedPage(qint64 row, const QString &column, const QVariant &key) const;

    Query m_query;
    mutable qint64 m_rows = 0;
    mutable bool m_countPending = false;
    QStringList m_columns;
    QHash<int, QString> m_captions;
    mutable QHash<qint64, Page> m_pages;
    mutable quint64 m_clock = 0;
    // The value findRow found last and its row, kept over re-reads.
    mutable std::pair<QVariant, qint64> m_found{QVariant(), -1};
};

} // namespace core::db
