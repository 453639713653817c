#include "core/transfer/copyin.h"

#include "core/db/dialect.h"
#include "core/db/pgserver.h"

#include "core/db/clientcalls.h"

namespace core::transfer::detail {

namespace {
constexpr qsizetype kSendAt = 1 << 20; // bytes gathered for one network write
}

CopyIn::CopyIn(QSqlDatabase to, const QString &table, const QStringList &columns)
    : m_to(std::move(to))
{
    m_conn = db::serverConnection(m_to);
    if (!m_conn) {
        m_error = QSqlError(QStringLiteral("no connection to the server"), {}, QSqlError::ConnectionError);
        return;
    }
    const QByteArray sql
        = QStringLiteral("COPY %1 (%2) FROM STDIN").arg(table, columns.join(QStringLiteral(", "))).toUtf8();
    PGresult *res = PQexec(m_conn, sql.constData());
    if (PQresultStatus(res) != PGRES_COPY_IN) {
        failed(res);
        return;
    }
    PQclear(res);
    m_started = true;
    m_buffer.reserve(kSendAt + (64 << 10));
}

CopyIn::~CopyIn()
{
    abort();
}

void CopyIn::abort()
{
    if (!m_started || m_finished)
        return;
    m_finished = true;
    PQputCopyEnd(m_conn, "the import stopped");
    db::finishFailedQuery(m_to.driver());
}

void CopyIn::separate()
{
    if (m_rowOpen)
        m_buffer += '\t';
    m_rowOpen = true;
}

void CopyIn::null()
{
    separate();
    m_buffer += "\\N";
}

void CopyIn::integer(qint64 v)
{
    separate();
    m_buffer += QByteArray::number(v);
}

void CopyIn::text(const char *utf8, qsizetype size)
{
    separate();
    // The text format's escapes: a backslash, and the bytes that would end a value or a row.
    for (qsizetype i = 0; i < size; ++i) {
        const char c = utf8[i];
        switch (c) {
        case '\\':
            m_buffer += "\\\\";
            break;
        case '\t':
            m_buffer += "\\t";
            break;
        case '\n':
            m_buffer += "\\n";
            break;
        case '\r':
            m_buffer += "\\r";
            break;
        default:
            m_buffer += c;
        }
    }
}

void CopyIn::value(const QVariant &v)
{
    if (v.isNull())
        null();
    else if (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int)
        integer(v.toLongLong());
    else {
        const QByteArray s = v.toString().toUtf8();
        text(s.constData(), s.size());
    }
}

bool CopyIn::endRow()
{
    m_buffer += '\n';
    m_rowOpen = false;
    ++m_rows;
    return m_buffer.size() < kSendAt || send();
}

bool CopyIn::send()
{
    if (!m_started)
        return false;
    if (!m_buffer.isEmpty() && PQputCopyData(m_conn, m_buffer.constData(), int(m_buffer.size())) != 1)
        return failed(nullptr);
    m_buffer.clear();
    return true;
}

bool CopyIn::finish()
{
    if (!send())
        return false;
    m_finished = true;
    if (PQputCopyEnd(m_conn, nullptr) != 1)
        return failed(nullptr);
    // The server's verdict on the rows (a refused value, a trigger) comes with the end.
    bool ok = true;
    while (PGresult *res = PQgetResult(m_conn)) {
        if (ok && PQresultStatus(res) != PGRES_COMMAND_OK) {
            ok = failed(res);
            continue;
        }
        PQclear(res);
    }
    return ok;
}

bool CopyIn::failed(PGresult *res)
{
    const char *state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    const QString message = QString::fromUtf8(res ? PQresultErrorMessage(res) : PQerrorMessage(m_conn)).trimmed();
    m_error = QSqlError(QStringLiteral("QPSQL: Unable to copy the rows"), message,
                        PQstatus(m_conn) == CONNECTION_OK ? QSqlError::StatementError : QSqlError::ConnectionError,
                        QString::fromLatin1(state ? state : ""));
    PQclear(res);
    return false;
}

} // namespace core::transfer::detail
