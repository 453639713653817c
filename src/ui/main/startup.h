#pragma once
#include "ui/common/corenames.h"
#include <QString>

namespace core {
class Settings;
}

namespace ui::startup {

// Reads the folders into the globals, offers to create a missing database, opens the
// main connection (reporting a file that cannot be used, once), and shows the main
// window. Returns false only when the application should not go on.
void run(Settings &settings);

// When `gDbFile` is missing, asks whether to create an empty database there. Returns
// true when the file exists afterwards; `declined` tells whether the user said No.
bool offerToCreateDatabase(bool *declined);

// When `gDbFile` is a register of the old program, says what it holds and offers to
// convert it in place (the old file kept beside the new one). Returns true when
// `gDbFile` is a register of ours afterwards; `declined` tells whether the user said No.
bool offerToConvertLegacy(bool *declined);

// Opens the main connection on `gDbFile` and tells the user once if it cannot be used.
bool openDatabase();

// When the server asks for a password that libpq did not find, a dialog asks for it
// (kept for the session only).
void installPasswordPrompt();

// `quillbern --create-database postgresql://USER@HOST:PORT/DBNAME`: the register's
// tables in that existing, empty database. Returns an empty text or the reason it failed.
QString createDatabaseOnServer(const QString &address);

// Ends the application once the main window's lists have been painted: what a user
// sees, not merely a window asked to show.
void quitWhenListsPainted();

// `quillbern --create-database FOLDER`: db1.mdb and the transfer template in FOLDER.
// Returns an empty text or the reason it failed.
QString createDatabaseInFolder(const QString &folder);

} // namespace ui::startup
