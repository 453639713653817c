#pragma once
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

#include "core/app/failure.h"

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

// Runs `sql` with `binds` on the main connection and reads every row before it
// returns.
std::optional<RowSet> readRows(const QString &sql, const QVariantList &binds, Failure *why = nullptr);
// The same on another connection (a reader thread's own).
std::optional<RowSet> readRows(const QSqlDatabase &db, const QString &sql, const QVariantList &binds,
                               Failure *why = nullptr);
std::optional<RowSet> readRows(const Query &query, Failure *why = nullptr);

} // namespace core::db
