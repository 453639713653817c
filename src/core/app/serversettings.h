#pragma once
#include <QList>
#include <QString>
#include <optional>
#include <utility>

#include "core/app/failure.h"

namespace core {

class Settings;

// Where a register held on a PostgreSQL server is: group [Server] of the settings.
// No password here, ever: libpq finds it (password file, service file, PGPASSWORD),
// else the user is asked for it for the session.
struct ServerSettings
{
    QString host;
    int port = 5432;
    QString database; // empty: libpq's default (the user's name)
    QString user;     // empty: libpq's default (the login name)

    // A non-empty host puts the register on the server.
    bool isSet() const { return !host.trimmed().isEmpty(); }
    // postgresql://USER@HOST:PORT/DBNAME, as the user reads and types it.
    QString address() const;

    static ServerSettings read(const Settings &settings);
    void write(Settings &settings) const;
    // The keys of group [Server] with their values, as write() stores them.
    QList<std::pair<QString, QString>> values() const;
    // Parses postgresql://[USER@]HOST[:PORT]/DBNAME (also postgres://).
    static std::optional<ServerSettings> fromAddress(const QString &address, Failure *why = nullptr);
};

} // namespace core

// Read at start-up with the other globals.
inline core::ServerSettings gServer;
