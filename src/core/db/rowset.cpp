#include "core/db/rowset.h"
#include "core/db/database.h"
#include "core/db/pgserver.h"
#include "core/db/queries.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace core::db {

int RowSet::columnIndex(const QString &name) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant RowSet::value(int row, const QString &name) const
{
    const int c = columnIndex(name);
    if (c < 0 || row < 0 || row >= rows.size())
        return {};
    return rows.at(row).at(c);
}

std::optional<RowSet> readRows(const QString &sql, const QVariantList &binds, Failure *why)
{
    return readRows(db::main(), sql, binds, why);
}

std::optional<RowSet> readRows(const QSqlDatabase &d, const QString &sql, const QVariantList &binds, Failure *why)
{
    if (!d.isOpen())
        return nothing(why, Failure::notOpen());
    QSqlQuery q(d);
    q.setForwardOnly(true);
    bool ok = q.prepare(sql);
    if (ok) {
        for (const QVariant &b : binds)
            q.addBindValue(b);
        ok = q.exec();
    }
    if (!ok)
        return nothing(why, readFailure(q.lastError(), d));
    RowSet rs;
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i)
        rs.columns << rec.fieldName(i);
    while (q.next()) {
        QVariantList row;
        row.reserve(rec.count());
        for (int i = 0; i < rec.count(); ++i)
            row << q.value(i);
        rs.rows << row;
    }
    if (q.lastError().isValid())
        return nothing(why, readFailure(q.lastError(), d));
    q.finish();
    return rs;
}

std::optional<RowSet> readRows(const Query &query, Failure *why)
{
    return readRows(query.sql, query.binds, why);
}

} // namespace core::db
