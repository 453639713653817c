#pragma once
#include <QString>

// Read once at start-up and never changed afterwards: a change made in Options
// takes effect at the next start.
inline QString gExportPath;
inline QString gDbPath;
inline QString gDbFile;

namespace core {

class Settings;

inline const QString kAppTitle = QStringLiteral("Quillbern");
inline const QString kDbFileName = QStringLiteral("db1.mdb");
inline const QString kTemplateFileName = QStringLiteral("dbtransf.mdb");

// "c:\quillbern" on Windows, the folder quillbern in the home directory elsewhere.
QString defaultFolder();

// Folder and file name joined with the host's separator, unconditionally: a folder
// that already ends in a separator gives a doubled one.
QString joinPath(const QString &folder, const QString &fileName);

// Sets the three globals from the store.
void loadGlobals(const Settings &settings);

} // namespace core
