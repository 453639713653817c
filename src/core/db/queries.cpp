#include "core/db/queries.h"
#include "core/db/database.h"
#include "core/db/registers.h"
#include "core/db/schema.h"

#include <QSqlError>
#include <QSqlQuery>

namespace core::db {

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
    binds << from << upto;
    const QString where
        = QStringLiteral("WHERE ") + filter + QStringLiteral("pickuplog.pickupdate >= ? AND pickuplog.pickupdate < ?");
    Query q
        = ordered(kPickupBase + where, {QStringLiteral("pickuplog.pickupdate"), QStringLiteral("pickuplog.id")}, binds);
    q.counted = kPickupsCounted + where;
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
    return ordered(QStringLiteral("SELECT * FROM project WHERE active=-1"), {QStringLiteral("projectname"), kId});
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
    if (!rows.order.isEmpty()) {
        QStringList terms = rows.order;
        if (fromEnd)
            for (QString &t : terms)
                t += QStringLiteral(" DESC");
        sql = rows.unordered + QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
    }
    QVariantList binds = rows.binds;
    binds << limit << offset;
    return {sql + QStringLiteral(" LIMIT ? OFFSET ?"), binds};
}

std::optional<Query> rowsBefore(const Query &rows, const QString &column, const QVariant &value)
{
    if (rows.order.size() != 1)
        return std::nullopt;
    const QString term = rows.order.first().section(QLatin1Char('.'), -1);
    if (term.compare(column, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    QVariantList binds = rows.binds;
    binds << value;
    // `term` is one of our own column names, never a value.
    return Query{QStringLiteral("SELECT count(*) FROM (%1) listed WHERE listed.%2 < ?").arg(rows.unordered, term),
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
