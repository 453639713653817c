#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <optional>

#include "core/app/failure.h"

// Every window's data sources run on one connection to the main database
// (`gDbFile`): separate connections on one file block each other.
namespace core::db {

inline const QString kMainConnection = QStringLiteral("qb_main");

struct Opened
{
    bool readOnly = false; // opened, but changes cannot be written
    QString warning;       // for the user when read-only or left at an earlier version: names the file and the reason
};

// Opens the main connection on an existing database of ours, replacing any earlier
// one. Never creates a file. Rollback journal, synchronous=FULL, a busy timeout.
// A writable register of an earlier version is brought up to date.
std::optional<Opened> openMain(const QString &path, Failure *why = nullptr);
// The main connection (possibly not open).
QSqlDatabase main();
bool mainIsOpen();
// A number that moves whenever another connection or program has committed to the
// main database since it was last read; writes made on the main connection leave it
// as it is. On a server, whose other desks announce their writes, always 0; nothing
// when it cannot be read.
std::optional<qint64> changesElsewhere();
void closeMain();

// How long a connection waits for another program's lock before it gives up, in
// milliseconds (5000 unless set; tests shorten it to meet a held lock quickly).
int busyTimeout();
void setBusyTimeout(int ms);

// Opens `connectionName` on an existing SQLite file without ever creating it.
bool openConnection(const QString &connectionName, const QString &path, bool readOnly, Failure *why = nullptr);
void closeConnection(const QString &connectionName);

// Creates a new, empty main database at `path`, making its folder when needed.
// Refuses to touch an existing file.
bool createDatabaseFile(const QString &path, Failure *why = nullptr);
// Creates the empty transfer template at `path` (refuses an existing file).
bool createTemplateFile(const QString &path, Failure *why = nullptr);

// An id handed between windows as text, as the value to bind: a number when it is
// one (so that it compares as an id), else the text itself (which matches nothing).
QVariant idValue(const QString &ids);

// Sets up a read-only connection on a register file for reading a wide date range,
// which visits the table in date order, not in the order it is stored. Not mmap,
// though it reads faster: those visits touch pages all over the file, the mapped
// pages stay resident until the map goes, and a report's memory would grow with the
// register (1.9 GB at ten million pick-ups). A page cache that holds the tables'
// inner pages at that size instead.
void setUpLongRead(const QSqlDatabase &db);

// The file a connection is open on, as the user reads it.
QString shownFile(const QSqlDatabase &db);

// The message shown when the database at `path` cannot be used for `reason`.
QString cannotOpenMessage(const QString &path, const QString &reason);

} // namespace core::db
