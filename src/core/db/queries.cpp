#include "core/db/queries.h"
#include "core/db/database.h"
#include "core/db/dialect.h"
#include "core/db/registers.h"
#include "core/db/schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace core::db {

namespace {

// The result columns that order terms such as "pickuplog.id" name.
QStringList resultColumns(const QStringList &order)
{
    QStringList keys;
    for (const QString &term : order)
        keys << term.section(QLatin1Char('.'), -1);
    return keys;
}

// Order terms as an ORDER BY list, reversed from the end. NULL sorts first in a
// file; a server sorts it last unless told, so it is told: both engines then list
// rows alike, and a read resumed after a key (which assumes NULL first) finds the
// rows after it. The last term, the never-NULL id, stays bare, so that the
// server's key index still gives its order.
QString orderList(QStringList terms, bool fromEnd, bool server = db::mainOnServer())
{
    for (qsizetype i = 0; i < terms.size(); ++i) {
        const bool nullable = server && i + 1 < terms.size();
        if (fromEnd)
            terms[i] += nullable ? QStringLiteral(" DESC NULLS LAST") : QStringLiteral(" DESC");
        else if (nullable)
            terms[i] += QStringLiteral(" NULLS FIRST");
    }
    return terms.join(QStringLiteral(", "));
}

// Rows after `last` in the ascending order of `keys` (NULL sorts first). A row value
// comparison lets SQLite start the index scan there; a NULL in the last values
// needs the longer form.
QString afterPredicate(const QStringList &keys, const QVariantList &last, QVariantList &binds)
{
    int firstNull = -1;
    for (int i = 0; i < keys.size(); ++i)
        if (last.at(i).isNull()) {
            firstNull = i;
            break;
        }
    if (firstNull < 0) {
        QStringList marks;
        for (const QVariant &v : last) {
            marks << QStringLiteral("?");
            binds << v;
        }
        return QStringLiteral("(%1) > (%2)").arg(keys.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
    }
    // (same prefix, NULL here, after in the rest) OR (same prefix, not NULL here) OR (after in the prefix)
    QStringList prefix;
    QVariantList prefixBinds;
    for (int i = 0; i < firstNull; ++i) {
        prefix << QStringLiteral("%1 = ?").arg(keys.at(i));
        prefixBinds << last.at(i);
    }
    const QString key = keys.at(firstNull);
    QStringList alternatives;
    QString same = prefix.isEmpty() ? QString() : prefix.join(QStringLiteral(" AND ")) + QStringLiteral(" AND ");
    if (firstNull + 1 < keys.size()) {
        binds << prefixBinds;
        const QString rest = afterPredicate(keys.mid(firstNull + 1), last.mid(firstNull + 1), binds);
        alternatives << QStringLiteral("(%1%2 IS NULL AND %3)").arg(same, key, rest);
    }
    binds << prefixBinds;
    alternatives << QStringLiteral("(%1%2 IS NOT NULL)").arg(same, key);
    if (firstNull > 0) {
        alternatives << QStringLiteral("(%1)").arg(
            afterPredicate(keys.mid(0, firstNull), last.mid(0, firstNull), binds));
    }
    return alternatives.join(QStringLiteral(" OR "));
}

} // namespace

namespace queries {

namespace {

// Every list of pick-ups starts with this select list and join (note the blank at its end).
const QString kPickupBase = QStringLiteral(
    "SELECT pickuplog.id,pickuplog.pickupdate, pickuplog.pickupby, pickuplog.package,pickuplog.note, "
    "authorizedcompanies.name FROM pickuplog LEFT JOIN authorizedcompanies ON pickuplog.idauthorizedcompany = "
    "authorizedcompanies.id ");

// The pick-ups of a list, without the join that names their subcontractor: one row
// each all the same (the join is on a unique key), and counted from an index alone.
const QString kPickupsCounted = QStringLiteral("SELECT pickuplog.id FROM pickuplog ");

// Rows in a stated order; the terms end with a unique column so that every row has
// one place, whichever end a window is read from.
Query ordered(const QString &unordered, const QStringList &order, const QVariantList &binds = {})
{
    return {unordered + QStringLiteral(" ORDER BY ") + order.join(QStringLiteral(", ")), binds, unordered, order};
}

// In date order, as the date index gives them.
Query pickupsDated(const QString &filter, QVariantList binds, const QString &from, const QString &upto)
{
    const int fromBind = int(binds.size());
    binds << from << upto;
    const QString where
        = QStringLiteral("WHERE ") + filter + QStringLiteral("pickuplog.pickupdate >= ? AND pickuplog.pickupdate < ?");
    Query q
        = ordered(kPickupBase + where, {QStringLiteral("pickuplog.pickupdate"), QStringLiteral("pickuplog.id")}, binds);
    q.counted = kPickupsCounted + where;
    q.orderFrom = fromBind;
    return q;
}

const QString kId = QStringLiteral("id");

} // namespace

Query everyProject()
{
    // Table order, as the database returns them.
    return ordered(QStringLiteral("select * from project"), {kId});
}

Query subcontractorsOfProject(const QVariant &project)
{
    return ordered(QStringLiteral("select * from authorizedcompanies where idproject = ?"), {kId}, {project});
}

Query pickupsOfSubcontractorInProject(const QVariant &subcontractor, qint64 project)
{
    return ordered(QStringLiteral("select * from pickuplog where idauthorizedcompany = ? and idproject = ?"),
                   {QStringLiteral("pickupdate"), kId}, {subcontractor, project});
}

Query activeProjectsByNameAndCompany()
{
    return ordered(QStringLiteral("SELECT * FROM project WHERE active=-1"),
                   {QStringLiteral("projectname"), QStringLiteral("company"), kId});
}

Query inactiveProjects()
{
    return ordered(QStringLiteral("SELECT * FROM project WHERE active <> -1"), {kId});
}

Query listOfSubcontractors(const QVariant &project)
{
    return ordered(QStringLiteral("SELECT * FROM authorizedcompanies WHERE idproject=?"), {kId}, {project});
}

Query subcontractorsNotPickedUp(const QVariant &project)
{
    return ordered(
        QStringLiteral("SELECT * FROM authorizedcompanies WHERE idproject=? AND NOT EXISTS "
                       "(SELECT 1 FROM pickuplog WHERE pickuplog.idauthorizedcompany = authorizedcompanies.id)"),
        {kId}, {project});
}

Query pickupsOfProject(const QVariant &project)
{
    const QString where = QStringLiteral("WHERE pickuplog.idproject=?");
    Query q = ordered(kPickupBase + where, {QStringLiteral("pickuplog.id")}, {project});
    q.counted = kPickupsCounted + where;
    return q;
}

Query pickupsBetween(const QString &from, const QString &upto, Whose whose, const QVariant &id)
{
    switch (whose) {
    case Whose::Project:
        return pickupsDated(QStringLiteral("pickuplog.idproject = ? AND "), {id}, from, upto);
    case Whose::Subcontractor:
        return pickupsDated(QStringLiteral("pickuplog.idauthorizedcompany = ? AND "), {id}, from, upto);
    case Whose::Everyone:
        break;
    }
    return pickupsDated(QString(), {}, from, upto);
}

Query activeProjectsByName()
{
    // Equal names by company, as the index on them lies: no sort for the ties.
    return ordered(QStringLiteral("SELECT * FROM project WHERE active=-1"),
                   {QStringLiteral("projectname"), QStringLiteral("company"), kId});
}

Query subcontractorsByName()
{
    return ordered(QStringLiteral("SELECT * FROM authorizedcompanies"), {QStringLiteral("name"), kId});
}

Query countOf(const Query &rows)
{
    const QString from = !rows.counted.isEmpty() ? rows.counted : rows.order.isEmpty() ? rows.sql : rows.unordered;
    return {QStringLiteral("SELECT count(*) FROM (%1) counted").arg(from), rows.binds};
}

Query windowOf(const Query &rows, qint64 offset, int limit, bool fromEnd)
{
    QString sql = rows.sql;
    if (!rows.order.isEmpty())
        sql = rows.unordered + QStringLiteral(" ORDER BY ") + orderList(rows.order, fromEnd);
    QVariantList binds = rows.binds;
    binds << limit << offset;
    return {sql + QStringLiteral(" LIMIT ? OFFSET ?"), binds};
}

std::optional<Query> keyAt(const Query &rows, qint64 offset, bool fromEnd)
{
    if (rows.order.isEmpty())
        return std::nullopt;
    const QStringList keys = resultColumns(rows.order);
    QVariantList binds = rows.binds;
    binds << offset;
    return Query{QStringLiteral("SELECT %1 FROM (%2) AS q ORDER BY %3 LIMIT 1 OFFSET ?")
                     .arg(keys.join(QLatin1Char(',')), rows.unordered, orderList(keys, fromEnd)),
                 binds};
}

Query rowsAfter(const Query &rows, const QVariantList &key, int limit)
{
    const QStringList keys = resultColumns(rows.order);
    QVariantList binds = rows.binds;
    const QString after = afterPredicate(keys, key, binds);
    binds << limit;
    return {QStringLiteral("SELECT * FROM (%1) AS q WHERE %2 ORDER BY %3 LIMIT ?")
                .arg(rows.unordered, after, orderList(keys, false)),
            binds};
}

std::optional<Query> rowsBefore(const Query &rows, const QString &column, const QVariant &value, bool after)
{
    if (rows.order.size() != 1)
        return std::nullopt;
    const QString term = rows.order.first().section(QLatin1Char('.'), -1);
    if (term.compare(column, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    QVariantList binds = rows.binds;
    binds << value;
    // `term` is one of our own column names, never a value.
    return Query{QStringLiteral("SELECT count(*) FROM (%1) listed WHERE listed.%2 %3 ?")
                     .arg(rows.unordered, term, after ? QStringLiteral(">=") : QStringLiteral("<")),
                 binds};
}

std::optional<Query> rowsByKey(const Query &rows, const QString &column, const QVariant &value, bool before, int limit)
{
    if (!rowsBefore(rows, column, value))
        return std::nullopt;
    const QString term = rows.order.first().section(QLatin1Char('.'), -1);
    QVariantList binds = rows.binds;
    binds << value << limit;
    return Query{QStringLiteral("SELECT * FROM (%1) listed WHERE listed.%2 %3 ? ORDER BY listed.%2%4 LIMIT ?")
                     .arg(rows.unordered, term, before ? QStringLiteral("<") : QStringLiteral(">="),
                          before ? QStringLiteral(" DESC") : QString()),
                 binds};
}

} // namespace queries

std::optional<RowSet> projectById(qint64 id, Failure *why)
{
    return readRows({QStringLiteral("select * from project where id = ?"), {id}}, why);
}

std::optional<RowSet> subcontractorById(qint64 id, Failure *why)
{
    return readRows({QStringLiteral("select * from authorizedcompanies where id = ?"), {id}}, why);
}

namespace {

std::optional<QString> nameOf(const Query &query, Failure *why)
{
    const std::optional<RowSet> rows = readRows(query, why);
    if (!rows)
        return std::nullopt;
    return rows->value(0, QStringLiteral("name")).toString();
}

} // namespace

std::optional<QString> projectName(qint64 id, Failure *why)
{
    return nameOf({QStringLiteral("SELECT projectname AS name FROM project WHERE id = ?"), {id}}, why);
}

std::optional<QString> subcontractorName(qint64 id, Failure *why)
{
    return nameOf({QStringLiteral("SELECT name FROM authorizedcompanies WHERE id = ?"), {id}}, why);
}

QString textOn(const Query &query, const QSqlDatabase &db)
{
    if (query.order.isEmpty() || !onServer(db))
        return query.sql;
    return query.unordered + QStringLiteral(" ORDER BY ") + orderList(query.order, false, true);
}

std::optional<bool> hasRows(const Query &query, Failure *why)
{
    // Whether there is a row does not depend on their order: none is asked for.
    const QString rows = query.order.isEmpty() ? query.sql : query.unordered;
    const std::optional<RowSet> first
        = readRows(QStringLiteral("SELECT 1 FROM (%1) AS q LIMIT 1").arg(rows), query.binds, why);
    if (!first)
        return std::nullopt;
    return !first->isEmpty();
}

ChunkReader::ChunkReader(const QSqlDatabase &db, const Query &query, int chunkRows)
    : m_db(db)
    , m_query(query)
    , m_chunkRows(std::max(1, chunkRows))
{
}

std::optional<RowSet> ChunkReader::next(Failure *why)
{
    if (!m_db.isOpen())
        return nothing(why, Failure::notOpen());
    if (m_done) {
        RowSet rs;
        rs.columns = m_columns;
        return rs;
    }
    QString sql = m_query.sql;
    QVariantList binds = m_query.binds;
    const bool chunked = !m_query.order.isEmpty();
    // The chunk reads the query as a subquery: its order terms by the result columns they name.
    const QStringList keys = resultColumns(m_query.order);
    if (chunked) {
        if (!m_last.isEmpty() && m_query.orderFrom >= 0 && m_query.orderFrom < binds.size() && !m_last.at(0).isNull())
            binds[m_query.orderFrom] = m_last.at(0);
        const QString where
            = m_last.isEmpty() ? QString() : QStringLiteral(" WHERE ") + afterPredicate(keys, m_last, binds);
        sql = QStringLiteral("SELECT * FROM (%1) AS q%2 ORDER BY %3 LIMIT %4")
                  .arg(m_query.unordered, where, orderList(keys, false, onServer(m_db)))
                  .arg(m_chunkRows);
    }
    std::optional<RowSet> rs = readRows(m_db, sql, binds, why);
    if (!rs)
        return std::nullopt;
    m_columns = rs->columns;
    if (m_keyColumns.isEmpty())
        for (const QString &k : keys) {
            const int c = rs->columnIndex(k);
            if (c < 0)
                return nothing(why,
                               Failure::plain(QStringLiteral("The rows cannot be read in order of \"%1\".").arg(k)));
            m_keyColumns << c;
        }
    if (!chunked || rs->size() < m_chunkRows)
        m_done = true;
    if (!rs->isEmpty()) {
        m_last.clear();
        for (int c : m_keyColumns)
            m_last << rs->rows.constLast().at(c);
    }
    return rs;
}

bool deleteRecord(const QString &table, qint64 id, Failure *why)
{
    // The table's name goes into the text: only one of ours may.
    QString name;
    for (const schema::Table &t : schema::tables())
        if (t.name.compare(table, Qt::CaseInsensitive) == 0)
            name = t.name;
    if (name.isEmpty())
        return fail(why, Failure::plain(QStringLiteral("There is no table \"%1\".").arg(table)));
    if (!mainIsOpen())
        return fail(why, Failure::notOpen());
    { // the statement is gone before anyone re-reads
        QSqlQuery q(main());
        if (!q.prepare(QStringLiteral("DELETE FROM %1 WHERE id = ?").arg(name)))
            return fail(why, Failure::from(q.lastError()));
        q.addBindValue(id);
        if (!q.exec())
            return fail(why, Failure::from(q.lastError()));
    }
    registers().announce(name, Registers::Deleted);
    return true;
}

} // namespace core::db
