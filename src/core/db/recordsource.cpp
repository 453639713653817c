#include "core/db/recordsource.h"
#include "core/db/database.h"
#include "core/db/registers.h"
#include "core/db/schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace core::db {

RecordSource::RecordSource(const QString &table)
    : m_table(schema::table(table).name)
    , m_columns(schema::table(table).columns)
{
}

QString RecordSource::canonical(const QString &column) const
{
    for (const QString &c : m_columns)
        if (c.compare(column, Qt::CaseInsensitive) == 0)
            return c;
    return {};
}

void RecordSource::addNew()
{
    m_values.clear();
    m_loaded.clear();
    m_hasRecord = true;
    m_isNew = true;
    m_id = 0;
}

bool RecordSource::loadById(qint64 id, QString *error)
{
    m_values.clear();
    m_loaded.clear();
    m_hasRecord = false;
    m_isNew = false;
    m_id = 0;
    QSqlQuery q(db::main());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT * FROM %1 WHERE id = ?").arg(m_table))) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    q.addBindValue(id);
    if (!q.exec()) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    if (!q.next()) {
        if (error)
            *error = QStringLiteral("The record no longer exists.");
        return false;
    }
    const QSqlRecord rec = q.record();
    for (const QString &c : m_columns) {
        const int i = rec.indexOf(c);
        if (i >= 0)
            m_loaded.insert(c, q.value(i));
    }
    m_values = m_loaded;
    m_hasRecord = true;
    m_id = id;
    return true;
}

QVariant RecordSource::value(const QString &column) const
{
    return m_values.value(canonical(column));
}

void RecordSource::setValue(const QString &column, const QVariant &value)
{
    const QString c = canonical(column);
    if (c.isEmpty() || c == QLatin1String("id"))
        return;
    m_values.insert(c, value);
}

bool RecordSource::write(QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!m_hasRecord)
        return fail(QStringLiteral("There is no record to save."));

    QStringList cols;
    QVariantList vals;
    for (const QString &c : m_columns) {
        if (c == QLatin1String("id") || !m_values.contains(c))
            continue;
        if (!m_isNew && m_loaded.value(c) == m_values.value(c) && m_loaded.value(c).isNull() == m_values.value(c).isNull())
            continue;
        cols << c;
        vals << m_values.value(c);
    }

    QSqlQuery q(db::main());
    QString sql;
    if (m_isNew) {
        if (cols.isEmpty())
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(m_table);
        else
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(m_table, cols.join(QStringLiteral(", ")),
                           QStringList(cols.size(), QStringLiteral("?")).join(QStringLiteral(", ")));
    } else {
        if (cols.isEmpty()) {
            // Nothing changed; still make sure the row is there.
            QSqlQuery check(db::main());
            check.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE id = ?").arg(m_table));
            check.addBindValue(m_id);
            if (!check.exec())
                return fail(check.lastError().text());
            if (!check.next())
                return fail(QStringLiteral("The record no longer exists: it was deleted meanwhile."));
            check.finish();
            registers().announce(m_table); // nothing to write, yet saved like any other
            return true;
        }
        QStringList sets;
        for (const QString &c : cols)
            sets << c + QStringLiteral(" = ?");
        sql = QStringLiteral("UPDATE %1 SET %2 WHERE id = ?").arg(m_table, sets.join(QStringLiteral(", ")));
        vals << m_id;
    }
    if (!q.prepare(sql))
        return fail(q.lastError().text());
    for (const QVariant &v : vals)
        q.addBindValue(v);
    if (!q.exec())
        return fail(q.lastError().databaseText().isEmpty() ? q.lastError().text() : q.lastError().databaseText());
    if (m_isNew) {
        m_id = q.lastInsertId().toLongLong();
        m_isNew = false;
    } else if (q.numRowsAffected() == 0) {
        return fail(QStringLiteral("The record no longer exists: it was deleted meanwhile."));
    }
    m_loaded = m_values;
    registers().announce(m_table);
    return true;
}

void RecordSource::cancel()
{
    if (m_isNew) {
        m_values.clear();
        m_hasRecord = false;
        m_isNew = false;
    } else {
        m_values = m_loaded;
    }
}

} // namespace core::db
