#pragma once
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <memory>
#include <optional>

#include "core/app/failure.h"

// The old program's Jet/ACE database files (its register db1.mdb and its transfer
// files), read-only. Nothing outside this reader knows the format.
namespace core::db::legacy {

// True when the file begins with a Jet or ACE header, whatever else it holds.
bool isLegacyFile(const QString &path);

struct Counts
{
    qint64 projects = 0;
    qint64 companies = 0;
    qint64 pickups = 0;
    qint64 total() const { return projects + companies + pickups; }
};

// Given every row's values; returns false to stop reading.
using RowFn = std::function<bool(const QVariantList &)>;

class Reader
{
public:
    ~Reader();

    // Opens any Jet/ACE file. Refuses a file that is not one, a password-protected
    // or encrypted one, and one whose catalog cannot be read.
    static std::unique_ptr<Reader> open(const QString &path, Failure *why = nullptr);
    // Opens a file of the old program: the three tables with every column, of
    // types that hold what a register of ours holds.
    static std::unique_ptr<Reader> openRegister(const QString &path, Failure *why = nullptr);

    // "Jet 4 (Access 2000-2003)" and the like.
    QString format() const;
    // The user tables, in catalog order.
    QStringList tables() const;
    // The rows of the three tables as the file's table definitions count them.
    Counts counts() const;

    // Every row of `table` (any user table) in storage order, deleted rows left
    // out, with the values of `columns` typed by the file's column types: whole
    // numbers as qint64, yes/no as -1/0, dates as ISO text ("YYYY-MM-DD", with
    // " HH:MM:SS" when not midnight), texts and memos whole, floating numbers as
    // double, NULL as a null value. Fails on a damaged file or a missing column,
    // and when the rows read are not the rows the table declares.
    bool read(const QString &table, const QStringList &columns, const RowFn &row, Failure *why = nullptr);

    // The rows of one of the three tables, with our register's columns in their
    // stored order, each value as a register of ours stores it (a pick-up date
    // kept as text is read in the short form the old program wrote).
    bool readRows(const QString &table, const RowFn &row, Failure *why = nullptr);

private:
    struct Impl;
    explicit Reader(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

} // namespace core::db::legacy
