#include "core/db/dialect.h"
#include "core/db/database.h"

namespace core::db {

bool onServer(const QSqlDatabase &db)
{
    return db.driverName() == QLatin1String("QPSQL");
}

bool mainOnServer()
{
    return QSqlDatabase::contains(kMainConnection) && onServer(QSqlDatabase::database(kMainConnection, false));
}

qint64 insertedId(QSqlQuery &q, const QSqlDatabase &db)
{
    if (!onServer(db))
        return q.lastInsertId().toLongLong();
    // lastval() is the session's own: another desk's inserts do not move it.
    QSqlQuery last(db);
    return last.exec(QStringLiteral("SELECT lastval()")) && last.next() ? last.value(0).toLongLong() : 0;
}

} // namespace core::db
