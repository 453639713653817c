#pragma once
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <optional>

#include "core/app/failure.h"
#include "core/db/rowset.h"

#include <QSqlDatabase>

// Every SQL text the windows need, by what it reads. A window asks for a query by
// name and hands it to a data source or to readRows; it never holds SQL itself.
namespace core::db {

// SQL text with the values bound to its placeholders, in order.
struct Query
{
    Query(QString sql = {}, QVariantList binds = {}, QString unordered = {}, QStringList order = {})
        : sql(std::move(sql))
        , binds(std::move(binds))
        , unordered(std::move(unordered))
        , order(std::move(order))
    {
    }

    QString sql;
    QVariantList binds;
    // For rows listed in a stated order: `sql` without its ORDER BY, and the
    // ordering terms, the last one unique, so that a window of the rows can be read
    // from either end, and a report can read them in chunks along them (by the
    // result columns the terms name).
    QString unordered;
    QStringList order;
    // The same rows without what cannot change their number (a join on a unique
    // key), for counting them; empty: count `sql` itself.
    QString counted;
    // The bind that is the lower bound of the first order column, or -1. A chunk
    // moves it up to where the last one ended: SQLite starts an index scan at one
    // lower bound only, and it would take this one and walk every row before.
    int orderFrom = -1;
};

namespace queries {

// The main window's three lists. Every project, in the order the database returns them.
Query everyProject();
Query subcontractorsOfProject(const QVariant &project);
// Oldest first.
Query pickupsOfSubcontractorInProject(const QVariant &subcontractor, qint64 project);

// The list of projects.
Query activeProjectsByNameAndCompany();
Query inactiveProjects();

// The list of subcontractors: a project's, and those of them with no pick-up logged.
Query listOfSubcontractors(const QVariant &project);
Query subcontractorsNotPickedUp(const QVariant &project);

// The list of pick-ups, each with its subcontractor's name: a project's, or those
// dated from `from` (inclusive) up to `upto` (exclusive), both stored date texts:
// everyone's, or those of the project or subcontractor with the id `id`.
Query pickupsOfProject(const QVariant &project);
enum class Whose { Everyone, Project, Subcontractor };
Query pickupsBetween(const QString &from, const QString &upto, Whose whose = Whose::Everyone, const QVariant &id = {});

// The pickers of the reports by date.
Query activeProjectsByName();
Query subcontractorsByName();

// The number of rows of `rows`.
Query countOf(const Query &rows);
// `limit` rows of `rows` from `offset`; with `fromEnd`, counted from the last row
// and listed last first.
Query windowOf(const Query &rows, qint64 offset, int limit, bool fromEnd);
// For ordered rows: the order columns' values of the row `offset` rows from the
// start (or from the end), read from those columns alone, which an index can give
// without visiting the rows skipped; and up to `limit` rows after a row with those
// values. Together they read a page far from both ends in about the time of a near one.
std::optional<Query> keyAt(const Query &rows, qint64 offset, bool fromEnd);
Query rowsAfter(const Query &rows, const QVariantList &key, int limit);
// The number of rows before the one whose `column` is `value` (with `after`: of it
// and the rows after it), for rows ordered by that column alone; nothing otherwise.
std::optional<Query> rowsBefore(const Query &rows, const QString &column, const QVariant &value, bool after = false);
// Up to `limit` rows next to the one whose `column` is `value`, found by that key,
// for rows ordered by that column alone: those before it nearest first, or it and
// those after it.
std::optional<Query> rowsByKey(const Query &rows, const QString &column, const QVariant &value, bool before, int limit);

} // namespace queries

// The text of `query` as `db` runs it: a server is asked to sort NULL first, as
// the file does (the query's own text is the file's).
QString textOn(const Query &query, const QSqlDatabase &db);

// Whether the query gives at least one row.
std::optional<bool> hasRows(const Query &query, Failure *why = nullptr);

// Reads a query's rows in chunks of about `chunkRows`, each chunk one short
// statement that starts after the last row of the one before (by the query's
// order), so that no read lock is held between chunks however long the reader
// takes over them. A query without an order is read by one statement.
class ChunkReader
{
public:
    ChunkReader(const QSqlDatabase &db, const Query &query, int chunkRows = 1000);
    // The next rows; an empty row set (with the columns) after the last.
    std::optional<RowSet> next(Failure *why = nullptr);

private:
    QSqlDatabase m_db;
    Query m_query;
    int m_chunkRows;
    QStringList m_columns;
    QVariantList m_last; // the order columns' values of the last row read
    QList<int> m_keyColumns;
    bool m_done = false;
};

// The project or subcontractor with this id: one row, or none when there is no such row.
std::optional<RowSet> projectById(qint64 id, Failure *why = nullptr);
std::optional<RowSet> subcontractorById(qint64 id, Failure *why = nullptr);

// The name of the project or subcontractor with this id; empty when there is none.
std::optional<QString> projectName(qint64 id, Failure *why = nullptr);
std::optional<QString> subcontractorName(qint64 id, Failure *why = nullptr);

// Deletes the row with this id from `table` (project, authorizedcompanies or
// pickuplog), touching no other row, and announces it.
bool deleteRecord(const QString &table, qint64 id, Failure *why = nullptr);

} // namespace core::db
