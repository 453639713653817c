#include "core/db/queries.h"
#include "core/db/database.h"
#include "core/db/dialect.h"
#include "core/db/registers.h"
#include "core/db/schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace core::db {

namespace queries {

namespace {

// The file returns rows in the order of the index or table it reads; the server
// promises no order without ORDER BY (an updated row moves), so its texts say the
// order the file gives.
QString both(const QString &file, const QString &server)
{
    return dialect(main(), file, server);
}

// Every list of pick-ups starts with this select list and join (note the blank at its end).
const QString kPickupBase = QStringLiteral(
    "SELECT pickuplog.id,pickuplog.pickupdate, pickuplog.pickupby, pickuplog.package,pickuplog.note, "
    "authorizedcompanies.name FROM pickuplog LEFT JOIN authorizedcompanies ON pickuplog.idauthorizedcompany = "
    "authorizedcompanies.id ");

const QStringList kById = {QStringLiteral("id")};
const QStringList kByDate = {QStringLiteral("pickupdate"), QStringLiteral("id")};

Query pickupsDated(const QString &filter, QVariantList binds, const QString &from, const QString &upto)
{
    const int fromBind = int(binds.size());
    binds << from << upto;
    // By date, as the reports over them are titled; the id keeps equal dates in the
    // order they were logged.
    return {kPickupBase + QStringLiteral("WHERE ") + filter
                + QStringLiteral("pickuplog.pickupdate >= ? AND pickuplog.pickupdate < ? "
                                 "ORDER BY pickuplog.pickupdate, pickuplog.id"),
            binds, kByDate, fromBind};
}

} // namespace

Query everyProject()
{
    return {both(QStringLiteral("select * from project"), QStringLiteral("select * from project order by id")), {}};
}

Query subcontractorsOfProject(const QVariant &project)
{
    return {both(QStringLiteral("select * from authorizedcompanies where idproject = ?"),
                 QStringLiteral("select * from authorizedcompanies where idproject = ? order by id")),
            {project}};
}

Query pickupsOfSubcontractorInProject(const QVariant &subcontractor, qint64 project)
{
    return {QStringLiteral("select * from pickuplog where idauthorizedcompany = ? and idproject = ? "
                           "order by pickupdate"),
            {subcontractor, project},
            kByDate};
}

Query activeProjectsByNameAndCompany()
{
    return {both(QStringLiteral("SELECT * FROM project WHERE active=-1 order by projectname,company"),
                 QStringLiteral("SELECT * FROM project WHERE active=-1 order by projectname,company,id")),
            {},
            {QStringLiteral("projectname"), QStringLiteral("company"), QStringLiteral("id")}};
}

Query inactiveProjects()
{
    return {both(QStringLiteral("SELECT * FROM project WHERE active <> -1"),
                 QStringLiteral("SELECT * FROM project WHERE active <> -1 order by id")),
            {},
            kById};
}

Query listOfSubcontractors(const QVariant &project)
{
    return {both(QStringLiteral("SELECT * FROM authorizedcompanies WHERE idproject=?"),
                 QStringLiteral("SELECT * FROM authorizedcompanies WHERE idproject=? order by id")),
            {project},
            kById};
}

Query subcontractorsNotPickedUp(const QVariant &project)
{
    const QString sql
        = QStringLiteral("SELECT * FROM authorizedcompanies WHERE idproject=? AND NOT EXISTS "
                         "(SELECT 1 FROM pickuplog WHERE pickuplog.idauthorizedcompany = authorizedcompanies.id)");
    return {both(sql, sql + QStringLiteral(" order by id")), {project}, kById};
}

Query pickupsOfProject(const QVariant &project)
{
    const QString sql = kPickupBase + QStringLiteral("WHERE pickuplog.idproject=?");
    return {both(sql, sql + QStringLiteral(" ORDER BY pickuplog.id")), {project}, kById};
}

Query pickupsBetween(const QString &from, const QString &upto)
{
    return pickupsDated(QString(), {}, from, upto);
}

Query projectPickupsBetween(const QVariant &project, const QString &from, const QString &upto)
{
    return pickupsDated(QStringLiteral("pickuplog.idproject = ? AND "), {project}, from, upto);
}

Query subcontractorPickupsBetween(const QVariant &subcontractor, const QString &from, const QString &upto)
{
    return pickupsDated(QStringLiteral("pickuplog.idauthorizedcompany = ? AND "), {subcontractor}, from, upto);
}

Query activeProjectsByName()
{
    return {both(QStringLiteral("SELECT * FROM project WHERE active=-1 order by projectname"),
                 QStringLiteral("SELECT * FROM project WHERE active=-1 order by projectname, id")),
            {}};
}

Query subcontractorsByName()
{
    return {both(QStringLiteral("SELECT * FROM authorizedcompanies order by name"),
                 QStringLiteral("SELECT * FROM authorizedcompanies order by name, id")),
            {}};
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

std::optional<bool> hasRows(const Query &query, Failure *why)
{
    const std::optional<RowSet> first
        = readRows(QStringLiteral("SELECT 1 FROM (%1) AS q LIMIT 1").arg(query.sql), query.binds, why);
    if (!first)
        return std::nullopt;
    return !first->isEmpty();
}

namespace {

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
    if (chunked) {
        if (!m_last.isEmpty() && m_query.orderFrom >= 0 && m_query.orderFrom < binds.size() && !m_last.at(0).isNull())
            binds[m_query.orderFrom] = m_last.at(0);
        const QString where
            = m_last.isEmpty() ? QString() : QStringLiteral(" WHERE ") + afterPredicate(m_query.order, m_last, binds);
        sql = QStringLiteral("SELECT * FROM (%1) AS q%2 ORDER BY %3 LIMIT %4")
                  .arg(m_query.sql, where, m_query.order.join(QLatin1Char(',')))
                  .arg(m_chunkRows);
    }
    std::optional<RowSet> rs = readRows(m_db, sql, binds, why);
    if (!rs)
        return std::nullopt;
    m_columns = rs->columns;
    if (m_keyColumns.isEmpty())
        for (const QString &k : m_query.order) {
            const int c = rs->columnIndex(k.section(QLatin1Char('.'), -1));
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
