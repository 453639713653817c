#pragma once
// Copying rows into a register on a server from a SQLite file, where the two
// engines cannot be joined in one statement.
#include <QByteArray>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariant>

struct pg_conn;   // libpq's PGconn
struct pg_result; // libpq's PGresult

namespace core::transfer::detail {

// Writes rows into `table (columns)` on the server connection `to` through one COPY
// in its text format: the values go as written, with no statement to parse or plan
// per row, and many rows to a network write. Values are given column by column,
// each row closed by endRow(); finish() ends the COPY and says whether the server
// took every row. Nothing is committed here: the caller's transaction holds it.
class CopyIn
{
public:
    CopyIn(QSqlDatabase to, const QString &table, const QStringList &columns);
    ~CopyIn();
    CopyIn(const CopyIn &) = delete;
    CopyIn &operator=(const CopyIn &) = delete;

    bool started() const { return m_started; }
    void null();
    void integer(qint64 v);
    // UTF-8 text of `size` bytes.
    void text(const char *utf8, qsizetype size);
    // NULL, a whole number or a text, as the database driver reads them.
    void value(const QVariant &v);
    bool endRow();
    bool finish();
    // Ends the COPY as failed, so that the connection can go on (to roll back).
    void abort();
    qint64 rows() const { return m_rows; }
    QSqlError lastError() const { return m_error; }

private:
    void separate();
    bool send();
    bool failed(pg_result *result);

    QSqlDatabase m_to;
    pg_conn *m_conn = nullptr;
    QByteArray m_buffer;
    bool m_started = false, m_rowOpen = false, m_finished = false;
    qint64 m_rows = 0;
    QSqlError m_error;
};

} // namespace core::transfer::detail
