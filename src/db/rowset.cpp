#include "db/rowset.h"
#include "db/database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

DbFailure DbFailure::from(const QSqlError &e)
{
    DbFailure f;
    bool ok = false;
    f.number = e.nativeErrorCode().toInt(&ok);
    if (!ok)
        f.number = int(e.type());
    f.description = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    if (f.description.isEmpty())
        f.description = e.driverText();
    if (f.description.isEmpty())
        f.description = QStringLiteral("The database could not be read.");
    return f;
}

DbFailure DbFailure::notOpen()
{
    return {int(QSqlError::ConnectionError), QStringLiteral("The database is not open.")};
}

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

std::optional<RowSet> readRows(const QString &sql, const QVariantList &binds, DbFailure *failure)
{
    QSqlDatabase d = db::main();
    if (!d.isOpen()) {
        if (failure)
            *failure = DbFailure::notOpen();
        return std::nullopt;
    }
    QSqlQuery q(d);
    q.setForwardOnly(true);
    bool ok = q.prepare(sql);
    if (ok) {
        for (const QVariant &b : binds)
            q.addBindValue(b);
        ok = q.exec();
    }
    if (!ok) {
        if (failure)
            *failure = DbFailure::from(q.lastError());
        return std::nullopt;
    }
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
    if (q.lastError().isValid()) {
        if (failure)
            *failure = DbFailure::from(q.lastError());
        return std::nullopt;
    }
    q.finish();
    return rs;
}
