#pragma once
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

// The register is a SQLite file or a PostgreSQL server. Most statements read the
// same on both; where one must differ, both texts stand side by side where it is
// used, and these choose.
namespace core::db {

// True when `db` is a connection to a PostgreSQL server.
bool onServer(const QSqlDatabase &db);
// True when the main connection is one.
bool mainOnServer();

// Of the file's text and the server's text of one statement, the one for `db`.
inline const QString &dialect(const QSqlDatabase &db, const QString &file, const QString &server)
{
    return onServer(db) ? server : file;
}

// The id given to the row an INSERT just made through `q`. The server's driver
// cannot tell (no OIDs), so it is asked of the session's identity sequence.
qint64 insertedId(QSqlQuery &q, const QSqlDatabase &db);

} // namespace core::db
