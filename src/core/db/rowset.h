#pragma once
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

#include "core/app/failure.h"

class QSqlDriver;

namespace core::db {

struct Query;

// A detached snapshot of a query's rows: it holds no statement open on the
// database, so a report may keep it as long as it likes.
class RowSet
{
public:
    QStringList columns;
    QList<QVariantList> rows;

    int size() const { return int(rows.size()); }
    bool isEmpty() const { return rows.isEmpty(); }
    // Column names are matched without regard to case; -1 when absent.
    int columnIndex(const QString &name) const;
    // NULL when the column is absent.
    QVariant value(int row, const QString &name) const;
};

// Runs the read `sql` with `binds` through `q`, forward only. On a server in one
// round trip: the driver's prepared statement takes three (PREPARE, EXECUTE,
// DEALLOCATE), so the values go into the text as the driver's own escaped literals,
// which are what its EXECUTE sends as well. Other values, and the file, are bound.
bool execRead(QSqlQuery &q, const QString &sql, const QVariantList &binds);
// The text `execRead` sends to a server: each `?` outside quotes replaced by the
// literal of its value; nothing when a value is of a kind not written this way or
// the placeholders and values do not pair up.
std::optional<QString> withLiterals(const QSqlDriver *driver, const QString &sql, const QVariantList &binds);

// Runs `sql` with `binds` on the main connection and reads every row before it
// returns.
std::optional<RowSet> readRows(const QString &sql, const QVariantList &binds, Failure *why = nullptr);
// The same on another connection (a reader thread's own).
std::optional<RowSet> readRows(const QSqlDatabase &db, const QString &sql, const QVariantList &binds,
                               Failure *why = nullptr);
std::optional<RowSet> readRows(const Query &query, Failure *why = nullptr);

} // namespace core::db
