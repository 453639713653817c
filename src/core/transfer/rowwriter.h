#pragma once
// Copying rows between two connections of different engines (a register on a server
// and a SQLite transfer file), where ATTACH cannot join them.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <optional>

namespace core::transfer::detail {

// Writes rows into `table (columns)` on `to`, through prepared INSERTs of up to
// `batch` rows each (one round trip per batch to a server).
class RowWriter
{
public:
    RowWriter(QSqlDatabase to, QString table, QStringList columns, int batch = 250);
    // Queues one row (values in the order of the columns); writes when a batch is full.
    bool add(const QVariantList &row);
    // Writes what is queued.
    bool flush();
    qint64 written() const { return m_written; }
    QSqlError lastError() const { return m_error; }

private:
    bool write(int rows);

    QSqlDatabase m_to;
    QString m_table;
    QStringList m_columns;
    int m_batch;
    QVariantList m_queued;
    std::optional<QSqlQuery> m_full; // prepared once for full batches
    qint64 m_written = 0;
    QSqlError m_error;
};

} // namespace core::transfer::detail
