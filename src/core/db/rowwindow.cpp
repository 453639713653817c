#include "core/db/rowwindow.h"
#include "core/db/database.h"
#include "core/db/pgserver.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <limits>

namespace core::db {

namespace {

bool run(QSqlQuery &q, const Query &query, Failure *why)
{
    const bool ok = execRead(q, textOn(query, main()), query.binds);
    if (!ok && why)
        *why = readFailure(q.lastError(), QSqlDatabase::database(kMainConnection, false));
    return ok;
}

} // namespace

RowWindow::RowWindow(QObject *parent)
    : QAbstractTableModel(parent)
{
}

bool RowWindow::load(const Query &query, Failure *why, bool countLater)
{
    beginResetModel();
    m_query = query;
    m_rows = 0;
    m_countPending = false;
    m_pages.clear();
    Failure failure;
    bool ok = db::mainIsOpen();
    if (!ok)
        failure = Failure::notOpen();
    QStringList columns;
    if (ok) {
        // The columns, and the first page, which every view shows first.
        std::optional<RowSet> first = readRows(queries::windowOf(query, 0, kPageRows, false), &failure);
        ok = first.has_value();
        if (ok) {
            columns = first->columns;
            m_rows = first->size();
            m_pages.insert(0, Page{std::move(first->rows), ++m_clock});
        }
    }
    if (ok && m_rows == kPageRows && countLater) {
        m_countPending = true;
    } else if (ok && m_rows == kPageRows) {
        QSqlQuery q(db::main());
        ok = run(q, queries::countOf(query), &failure) && q.next();
        if (ok)
            m_rows = std::max(m_rows, q.value(0).toLongLong());
        else if (!q.lastError().isValid())
            failure = Failure::plain(QStringLiteral("The rows could not be counted."));
    }
    if (!ok) {
        m_rows = 0;
        m_pages.clear();
        columns.clear();
        if (why)
            *why = failure;
    }
    if (columns != m_columns)
        m_captions.clear();
    m_columns = columns;
    endResetModel();
    return ok;
}

void RowWindow::countNow() const
{
    if (!m_countPending)
        return;
    m_countPending = false;
    QSqlQuery q(db::main());
    // A count that fails leaves the first page shown; the next read counts again.
    if (!run(q, queries::countOf(m_query), nullptr) || !q.next())
        return;
    const qint64 counted = q.value(0).toLongLong();
    q.finish();
    if (counted <= m_rows)
        return;
    // The model's rows change, not what it shows of them: the view learns of the rows
    // past the first page as it learns of any rows added.
    auto *self = const_cast<RowWindow *>(this);
    self->beginInsertRows({}, int(m_rows), int(std::min<qint64>(counted, std::numeric_limits<int>::max()) - 1));
    m_rows = counted;
    self->endInsertRows();
}

qint64 RowWindow::exactCount() const
{
    countNow();
    return m_rows;
}

void RowWindow::clear()
{
    beginResetModel();
    m_query = {};
    m_rows = 0;
    m_countPending = false;
    m_columns.clear();
    m_captions.clear();
    m_pages.clear();
    endResetModel();
}

int RowWindow::rowCount(const QModelIndex &parent) const
{
    // A view counts rows in an int; a longer list shows its first 2^31 - 1.
    return parent.isValid() ? 0 : int(std::min<qint64>(m_rows, std::numeric_limits<int>::max()));
}

int RowWindow::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

const RowWindow::Page *RowWindow::page(qint64 number) const
{
    auto it = m_pages.find(number);
    if (it != m_pages.end()) {
        it->used = ++m_clock;
        return &*it;
    }
    if (!db::mainIsOpen())
        return nullptr;
    if (number > 0)
        countNow();
    const qint64 first = number * kPageRows;
    const int limit = int(std::min<qint64>(kPageRows, m_rows - first));
    if (limit <= 0)
        return nullptr;
    // Read from the nearer end: skipping rows costs as many steps as rows skipped.
    const bool fromEnd = !m_query.order.isEmpty() && first > m_rows / 2;
    const qint64 offset = fromEnd ? m_rows - (first + limit) : first;
    if (std::optional<RowSet> keyed = farPage(first, limit, fromEnd))
        return keep(number, Page{std::move(keyed->rows)});
    std::optional<RowSet> read = readRows(queries::windowOf(m_query, offset, limit, fromEnd));
    if (!read)
        return nullptr;
    Page p{std::move(read->rows)};
    if (fromEnd)
        std::reverse(p.rows.begin(), p.rows.end());
    return keep(number, std::move(p));
}

std::optional<RowSet> RowWindow::farPage(qint64 first, int limit, bool fromEnd) const
{
    // Far from both ends, skipping whole rows is slow (the rows are made, joins and
    // all, then dropped): the key of the row before the page is found from the order
    // columns alone, and the page read after it.
    const qint64 skipped = fromEnd ? m_rows - first : first - 1;
    if (skipped < kFarRows || m_query.order.isEmpty())
        return std::nullopt;
    const std::optional<Query> keyQuery = queries::keyAt(m_query, skipped, fromEnd);
    const std::optional<RowSet> key = keyQuery ? readRows(*keyQuery) : std::nullopt;
    if (!key || key->isEmpty()
        || std::any_of(key->rows.first().begin(), key->rows.first().end(),
                       [](const QVariant &v) { return v.isNull(); }))
        return std::nullopt;
    std::optional<RowSet> read = readRows(queries::rowsAfter(m_query, key->rows.first(), limit));
    if (!read || read->size() != limit)
        return std::nullopt; // changed since it was counted: read by position
    return read;
}

void RowWindow::keyedPage(qint64 row, const QString &column, const QVariant &key) const
{
    const qint64 number = row / kPageRows;
    const int before = int(row % kPageRows);
    const int size = int(std::min<qint64>(kPageRows, m_rows - number * kPageRows));
    Page p;
    for (const bool earlier : {true, false}) {
        const int limit = earlier ? before : size - before;
        const auto query = queries::rowsByKey(m_query, column, key, earlier, limit);
        std::optional<RowSet> read = limit > 0 && query ? readRows(*query) : std::nullopt;
        if (!read)
            continue;
        if (earlier)
            std::reverse(read->rows.begin(), read->rows.end());
        p.rows << read->rows;
    }
    if (p.rows.size() != size)
        return; // changed since it was counted: read by position when shown
    keep(number, std::move(p));
}

const RowWindow::Page *RowWindow::keep(qint64 number, Page page) const
{
    if (m_pages.size() >= kKeptPages) {
        const auto oldest = std::min_element(m_pages.begin(), m_pages.end(),
                                             [](const Page &a, const Page &b) { return a.used < b.used; });
        m_pages.erase(oldest);
    }
    page.used = ++m_clock;
    return &*m_pages.insert(number, std::move(page));
}

QVariant RowWindow::value(int row, int column) const
{
    if (row >= m_rows)
        countNow();
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns.size())
        return {};
    const Page *p = page(row / kPageRows);
    const int at = row % kPageRows;
    if (!p || at >= p->rows.size() || column >= p->rows.at(at).size())
        return {}; // rows deleted since they were counted
    return p->rows.at(at).at(column);
}

QVariant RowWindow::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return value(index.row(), index.column());
}

QVariant RowWindow::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && (role == Qt::DisplayRole || role == Qt::EditRole) && section >= 0
        && section < m_columns.size())
        return m_captions.value(section, m_columns.at(section));
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool RowWindow::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size()
        || (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    m_captions.insert(section, value.toString());
    emit headerDataChanged(orientation, section, section);
    return true;
}

int RowWindow::column(const QString &name) const
{
    for (qsizetype i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

int RowWindow::findRow(const QString &columnName, const QVariant &wanted) const
{
    const int c = column(columnName);
    if (c < 0 || wanted.isNull())
        return -1;
    countNow();
    // The pages held from the first on tell their rows' places without a read.
    qint64 number = 0;
    for (auto it = m_pages.constFind(number); it != m_pages.cend(); it = m_pages.constFind(++number)) {
        const QList<QVariantList> &rows = it->rows;
        for (qsizetype i = 0; i < rows.size(); ++i)
            if (c < rows.at(i).size() && rows.at(i).at(c) == wanted) {
                const qint64 row = number * kPageRows + i;
                return row < m_rows ? int(row) : -1;
            }
    }
    // Counted from the end it was nearer last time: a count steps over every row it counts.
    const bool fromEnd = m_found.first == wanted && m_found.second >= m_rows / 2;
    if (const auto counted = queries::rowsBefore(m_query, m_columns.at(c), wanted, fromEnd)) {
        QSqlQuery q(db::main());
        if (!run(q, *counted, nullptr) || !q.next())
            return -1;
        const qint64 row = fromEnd ? m_rows - q.value(0).toLongLong() : q.value(0).toLongLong();
        if (row < 0 || row >= m_rows)
            return -1;
        // The page around it read by key: skipping to it by position would step over
        // every row before it again.
        if (!m_pages.contains(row / kPageRows))
            keyedPage(row, columnName, wanted);
        if (value(int(row), c) != wanted)
            return -1;
        m_found = {wanted, row};
        return int(row);
    }
    for (qint64 row = 0; row < m_rows; ++row)
        if (value(int(row), c) == wanted)
            return int(row);
    return -1;
}

} // namespace core::db
