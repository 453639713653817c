#include "core/app/globals.h"
#include "core/app/serversettings.h"
#include "core/app/settings.h"

#include <QDir>

namespace core {

QString defaultFolder()
{
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\quillbern");
#else
    return QDir::toNativeSeparators(QDir::homePath() + QStringLiteral("/quillbern"));
#endif
}

QString joinPath(const QString &folder, const QString &fileName)
{
    return folder + QDir::separator() + fileName;
}

void loadGlobals(const Settings &settings)
{
    const QString section = QStringLiteral("paths");
    gExportPath = settings.read(section, QStringLiteral("ExportPath"), defaultFolder());
    gDbPath = settings.read(section, QStringLiteral("dbpath"), defaultFolder());
    gDbFile = joinPath(gDbPath, kDbFileName);
    gServer = ServerSettings::read(settings);
}

} // namespace core
