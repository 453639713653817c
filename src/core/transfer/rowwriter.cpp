#include "core/transfer/rowwriter.h"

namespace core::transfer::detail {

RowWriter::RowWriter(QSqlDatabase to, QString table, QStringList columns, int batch)
    : m_to(std::move(to))
    , m_table(std::move(table))
    , m_columns(std::move(columns))
    , m_batch(std::max(1, batch))
{
}

bool RowWriter::add(const QVariantList &row)
{
    m_queued << row;
    return m_queued.size() < m_batch * m_columns.size() || write(m_batch);
}

bool RowWriter::flush()
{
    return m_queued.isEmpty() || write(int(m_queued.size() / m_columns.size()));
}

bool RowWriter::write(int rows)
{
    const auto statement = [&](int n) {
        const QString one = QLatin1Char('(') + QStringList(m_columns.size(), QStringLiteral("?")).join(QLatin1Char(','))
            + QLatin1Char(')');
        return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
            .arg(m_table, m_columns.join(QStringLiteral(", ")), QStringList(n, one).join(QLatin1Char(',')));
    };
    QSqlQuery partial(m_to);
    QSqlQuery *q = &partial;
    if (rows == m_batch) {
        if (!m_full) {
            m_full.emplace(m_to);
            if (!m_full->prepare(statement(rows))) {
                m_error = m_full->lastError();
                return false;
            }
        }
        q = &*m_full;
    } else if (!partial.prepare(statement(rows))) {
        m_error = partial.lastError();
        return false;
    }
    for (int i = 0; i < m_queued.size(); ++i)
        q->bindValue(i, m_queued.at(i));
    if (!q->exec()) {
        m_error = q->lastError();
        return false;
    }
    m_written += rows;
    m_queued.clear();
    return true;
}

} // namespace core::transfer::detail
