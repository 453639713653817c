#include "core/db/recordsource.h"
#include "core/db/database.h"
#include "core/db/dialect.h"
#include "core/db/pgserver.h"
#include "core/db/registers.h"
#include "core/db/rowset.h"
#include "core/db/schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace core::db {

namespace {

// Our own reasons are whole sentences already.
Failure plainly(const QString &sentence)
{
    return Failure::withReason(sentence, sentence);
}

// The engine's reason, in a sentence that names the table and the file; a lost
// connection to a server is said plainly, not in libpq's words.
Failure refused(const QString &table, const QSqlError &e, const QString &engineReason)
{
    const QString reason = connectionLost(QSqlDatabase::database(kMainConnection, false))
        ? QStringLiteral("nothing was written: ") + lostConnectionReason()
        : engineReason;
    return Failure::from(
        e, QStringLiteral("The table \"%1\" of \"%2\" cannot be used: %3.").arg(table, shownFile(db::main()), reason),
        reason);
}

} // namespace

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

bool RecordSource::loadById(qint64 id, Failure *why)
{
    m_values.clear();
    m_loaded.clear();
    m_hasRecord = false;
    m_isNew = false;
    m_id = 0;
    if (!mainIsOpen())
        return fail(why, Failure::notOpen());
    QSqlQuery q(db::main());
    if (!execRead(q, QStringLiteral("SELECT * FROM %1 WHERE id = ?").arg(m_table), {id}))
        return fail(why, refused(m_table, q.lastError(), q.lastError().text()));
    if (!q.next())
        return fail(why, plainly(QStringLiteral("The record no longer exists.")));
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

bool RecordSource::write(Failure *why)
{
    if (!m_hasRecord)
        return fail(why, plainly(QStringLiteral("There is no record to save.")));
    if (!mainIsOpen())
        return fail(why, Failure::notOpen());

    QStringList cols;
    QVariantList vals;
    for (const QString &c : m_columns) {
        if (c == QLatin1String("id") || !m_values.contains(c))
            continue;
        if (!m_isNew && m_loaded.value(c) == m_values.value(c)
            && m_loaded.value(c).isNull() == m_values.value(c).isNull())
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
                return fail(why, refused(m_table, check.lastError(), check.lastError().text()));
            if (!check.next())
                return fail(why, plainly(QStringLiteral("The record no longer exists: it was deleted meanwhile.")));
            check.finish();
            registers().announce(m_table); // nothing to write, yet saved like any other
            return true;
        }
        QStringList sets;
        for (const QString &c : cols)
            sets << c + QStringLiteral(" = ?");
        // Written only while the row still holds what was read, byte for byte: a save
        // made meanwhile elsewhere (another desk, another window) is never overwritten
        // in silence; this one is refused and says so.
        QStringList same;
        for (auto it = m_loaded.cbegin(); it != m_loaded.cend(); ++it) {
            const QString &c = it.key();
            const bool text = c != QLatin1String("active") && !c.startsWith(QLatin1String("id"));
            same << (text ? dialect(db::main(), c + QStringLiteral(" COLLATE BINARY IS ?"),
                                    c + QStringLiteral(" COLLATE \"C\" IS NOT DISTINCT FROM ?"))
                          : dialect(db::main(), c + QStringLiteral(" IS ?"),
                                    c + QStringLiteral(" IS NOT DISTINCT FROM ?")));
        }
        sql = QStringLiteral("UPDATE %1 SET %2 WHERE id = ?").arg(m_table, sets.join(QStringLiteral(", ")));
        if (!same.isEmpty())
            sql += QStringLiteral(" AND ") + same.join(QStringLiteral(" AND "));
        vals << m_id;
        for (auto it = m_loaded.cbegin(); it != m_loaded.cend(); ++it)
            vals << it.value();
    }
    if (!q.prepare(sql))
        return fail(why, refused(m_table, q.lastError(), q.lastError().text()));
    for (const QVariant &v : vals)
        q.addBindValue(v);
    if (!q.exec())
        return fail(
            why,
            refused(m_table, q.lastError(),
                    q.lastError().databaseText().isEmpty() ? q.lastError().text() : q.lastError().databaseText()));
    if (m_isNew) {
        m_id = insertedId(q, db::main());
        m_isNew = false;
    } else if (q.numRowsAffected() == 0) {
        QSqlQuery check(db::main());
        check.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE id = ?").arg(m_table));
        check.addBindValue(m_id);
        if (check.exec() && check.next())
            return fail(why,
                        plainly(QStringLiteral("The record was changed elsewhere meanwhile, so your changes were "
                                               "not saved: close it and open it again to see the changes.")));
        return fail(why, plainly(QStringLiteral("The record no longer exists: it was deleted meanwhile.")));
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
