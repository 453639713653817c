#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

#include "core/app/failure.h"

// The one place where the tables of the main database and of a transfer file are
// described.
namespace core::schema {

// PRAGMA application_id of a main database ("QBN1") and of a transfer file ("QBNT").
constexpr int kApplicationId = 0x51424E31;
constexpr int kTransferApplicationId = 0x51424E54;
// The format of the main database (see migrations.cpp): 2 makes yes/no columns NOT
// NULL, 3 adds the indexes the windows' orderings need.
constexpr int kVersion = 3;
// The format of a register on a server, which has had a step of its own: 4 catches
// up a register made at 3 before its yes/no columns were NOT NULL, and ends the
// indexes on a project's rows in the id; 5 puts NULL first in the orderings' indexes.
constexpr int kServerVersion = 5;
// The format of a transfer file, kept apart so that offices on different versions
// still exchange projects: a main-database migration does not change it.
constexpr int kTransferVersion = 1;

struct Table
{
    QString name;
    QStringList columns; // in stored order, id first
};

// project, authorizedcompanies, pickuplog.
const QList<Table> &tables();
const Table &table(const QString &name);

// CREATE TABLE statements of the three tables.
QStringList createTableStatements();
// The statement for one table, optionally under another name and with column
// definitions of its own after ours.
QString createTableStatement(const Table &table, const QString &as = {}, const QStringList &extraColumns = {});
// The indexes of the main database.
QStringList createIndexStatements();

// The indexes every ordering a window shows is read from (part of the above).
QStringList sortIndexStatements();

// Runs `statements` in one transaction; on a failure nothing stays and `why` says
// which database could not be set up.
bool runAll(QSqlDatabase &db, const QStringList &statements, Failure *why = nullptr);

// Creates the three tables and their indexes, and stamps the file as ours. Runs in
// one transaction.
bool createMain(QSqlDatabase &db, Failure *why = nullptr);

// Stamps an empty file as a transfer template (no tables).
bool createTransferTemplate(QSqlDatabase &db, Failure *why = nullptr);

// Checks that the file `path`, open on `db`, is a main database of ours with every
// table and column.
bool validateMain(QSqlDatabase &db, const QString &path, Failure *why = nullptr);
// Why a register with this application id and format, open on `db`, cannot be
// used by this build (not ours, newer, a table or column missing); nothing when it can.
std::optional<QString> refusal(const QSqlDatabase &db, int applicationId, int version);
// The format this build writes on `db`: kVersion on a file, kServerVersion on a server.
int currentVersion(const QSqlDatabase &db);

} // namespace core::schema
