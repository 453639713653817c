#pragma once
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "core/app/failure.h"
#include "core/app/serversettings.h"
#include "core/db/database.h"

struct pg_conn; // libpq's PGconn
class QSqlDriver;

// A register held on a PostgreSQL server (driver QPSQL).
namespace core::db {

// libpq's connection under `db`; null when it is not to a server or not open.
pg_conn *serverConnection(const QSqlDatabase &db);

// Asks the user for the password of `user` at `address` when the server wants one
// and libpq found none; nothing when the user declines. Installed by the windows.
using PasswordPrompt = std::function<std::optional<QString>(const QString &address, const QString &user)>;
void setPasswordPrompt(PasswordPrompt prompt);
// Forgets the password typed in this session.
void forgetSessionPassword();

// Opens `connectionName` on the server, replacing any earlier connection of that name.
// The password comes from libpq's own sources, else from the session, else the prompt.
bool openServerConnection(const QString &connectionName, const ServerSettings &server, Failure *why = nullptr);

// Opens the main connection on the register held on the server, and listens there
// for the other desks' changes (they reach registers()).
std::optional<Opened> openMainOnServer(const ServerSettings &server, Failure *why = nullptr);

// When the main connection is to a server and was lost (the server restarted, the
// network dropped) or never opened, opens it again, quietly: the action that found
// it lost said so, and the next one finds the register back.
void reconnectIfLost(QSqlDatabase &db);
// Reads to its end a query sent on its own that failed, as the driver does only when
// the statement goes: one that met the server's farewell leaves the closed connection
// unread until then, and it shows as lost only once read.
void finishFailedQuery(const QSqlDriver *driver);
// True when `db` is to a server and its connection is lost or was never made.
bool connectionLost(const QSqlDatabase &db);
// Why an action failed when its connection was lost under it.
QString lostConnectionReason();
// The failure of a read on `db`: the engine's words, or a plain sentence when the
// connection to the server was lost under it.
Failure readFailure(const QSqlError &e, const QSqlDatabase &db);

// The first line of the server's words in `e`, without their severity.
QString serverReason(const QSqlError &e);

// Opens the register the settings name: the server when one is set, else the file.
std::optional<Opened> openRegister(Failure *why = nullptr);

// Creates the register's tables in the existing, empty database on the server.
// Refuses (and changes nothing) when the database holds any of them already.
bool createServerRegister(const ServerSettings &server, Failure *why = nullptr);

// The message shown when the register on `address` cannot be used for `reason`.
QString serverCannotOpenMessage(const QString &address, const QString &reason);

// The channel every committed write is announced on.
inline const QString kChangeChannel = QStringLiteral("quillbern");

} // namespace core::db

namespace core::schema {

// The server's text of the schema: tables, indexes, the version stamp and the
// triggers that keep ids ahead and announce every write.
QStringList serverCreateStatements();
bool createOnServer(QSqlDatabase &db, Failure *why = nullptr);
// The file's indexes in the server's words.
QStringList serverIndexStatements();
// The trigger that stores 0 for a NULL yes/no value, as the file does.
QStringList serverYesNoStatements();
// Reading (optionally locking it until the transaction ends) and stamping the
// format a register on a server holds.
QString serverVersionSelect(bool forUpdate);
QString serverVersionUpdate(int version);
// Checks that the database open on `db` holds a register of ours with every table and column.
bool validateOnServer(QSqlDatabase &db, Failure *why = nullptr);

} // namespace core::schema
