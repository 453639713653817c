#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include "core/app/failure.h"

// The one place where the tables of the main database and of a transfer file are
// described.
namespace core::schema {

// PRAGMA application_id of a main database ("QBN1") and of a transfer file ("QBNT").
constexpr int kApplicationId = 0x51424E31;
constexpr int kTransferApplicationId = 0x51424E54;
constexpr int kVersion = 2;

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
// The indexes of the main database.
QStringList createIndexStatements();

// One step that brings a register made by an older version up to `version`.
struct Migration
{
    int version;
    QStringList statements;
};
// The steps in the order of their versions, the last one reaching kVersion.
const QList<Migration> &migrations();

// Runs every step above the register's user_version, all in one transaction that
// also sets user_version; nothing changes when one fails.
bool migrateMain(QSqlDatabase &db, Failure *why = nullptr);

// Creates the three tables and their indexes, and stamps the file as ours. Runs in
// one transaction.
bool createMain(QSqlDatabase &db, Failure *why = nullptr);

// Stamps an empty file as a transfer template (no tables).
bool createTransferTemplate(QSqlDatabase &db, Failure *why = nullptr);

// Checks that the file `path`, open on `db`, is a main database of ours with every
// table and column.
bool validateMain(QSqlDatabase &db, const QString &path, Failure *why = nullptr);

} // namespace core::schema
