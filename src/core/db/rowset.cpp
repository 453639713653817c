#include "core/db/rowset.h"
#include "core/db/database.h"
#include "core/db/pgserver.h"
#include "core/db/queries.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
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

std::optional<QString> withLiterals(const QSqlDriver *driver, const QString &sql, const QVariantList &binds)
{
    QString out;
    out.reserve(sql.size() + 16 * binds.size());
    qsizetype next = 0;
    QChar quote; // inside '...' or "...": a doubled quote leaves and enters again
    for (const QChar c : sql) {
        if (!quote.isNull() || c != QLatin1Char('?')) {
            if (c == quote)
                quote = QChar();
            else if (quote.isNull() && (c == QLatin1Char('\'') || c == QLatin1Char('"')))
                quote = c;
            out += c;
            continue;
        }
        if (next == binds.size())
            return std::nullopt;
        const QVariant &v = binds.at(next++);
        bool null = v.isNull();
        switch (v.metaType().id()) {
        case QMetaType::UnknownType:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            break;
        case QMetaType::QString:
            // A null text binds as NULL, as the driver binds it. The server's text holds
            // no NUL, and libpq's query text would end at one.
            null = null || v.toString().isNull();
            if (v.toString().contains(QChar(0)))
                return std::nullopt;
            break;
        default: // dates, times, numbers with fractions: as the statement would type them
            return std::nullopt;
        }
        QSqlField field(QString(), v.metaType());
        field.setValue(v);
        // In brackets: a negative number after a minus would begin a comment.
        out += QLatin1Char('(') + (null ? QStringLiteral("NULL") : driver->formatValue(field)) + QLatin1Char(')');
    }
    if (next != binds.size() || !quote.isNull())
        return std::nullopt;
    return out;
}

bool execRead(QSqlQuery &q, const QString &sql, const QVariantList &binds)
{
    q.setForwardOnly(true);
    const QSqlDriver *driver = q.driver();
    if (driver && driver->dbmsType() == QSqlDriver::PostgreSQL)
        if (const std::optional<QString> text = withLiterals(driver, sql, binds)) {
            const bool ok = q.exec(*text);
            if (!ok)
                finishFailedQuery(driver);
            return ok;
        }
    if (!q.prepare(sql))
        return false;
    for (const QVariant &b : binds)
        q.addBindValue(b);
    return q.exec();
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
    if (!execRead(q, sql, binds))
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
    return readRows(textOn(query, main()), query.binds, why);
}

} // namespace core::db
