#include "ui/main/startup.h"

#include "core/app/globals.h"
#include "core/app/settings.h"
#include "core/db/database.h"
#include "core/transfer/transfer.h"
#include "ui/common/services.h"
#include "ui/common/windowregistry.h"
#include "ui/main/frmMain.h"

#include <QDir>
#include <QFileInfo>

namespace ui::startup {

bool offerToCreateDatabase(bool *declined)
{
    *declined = false;
    if (QFileInfo::exists(gDbFile))
        return true;
    const auto answer = message(QStringLiteral("There is no database at \"%1\".\n\nCreate an empty database there?")
                                    .arg(QDir::toNativeSeparators(gDbFile)),
                                QString(), QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        *declined = true;
        return false;
    }
    Failure why;
    if (!db::createDatabaseFile(gDbFile, &why)) {
        message(why.description, QString(), QMessageBox::Critical);
        return false;
    }
    if (!transfer::ensureTemplate(gExportPath, &why))
        message(why.description, QString(), QMessageBox::Warning);
    return true;
}

bool openDatabase()
{
    Failure why;
    const std::optional<db::Opened> opened = db::openMain(gDbFile, &why);
    if (!opened)
        message(why.description, QString(), QMessageBox::Critical);
    else if (!opened->warning.isEmpty())
        message(opened->warning, QString(), QMessageBox::Warning);
    return opened.has_value();
}

void run(Settings &settings)
{
    core::loadGlobals(settings);
    bool declined = false;
    if (offerToCreateDatabase(&declined))
        openDatabase();
    frmMain *w = WindowRegistry::get<frmMain>();
    w->show();
}

QString createDatabaseInFolder(const QString &folder)
{
    const QString file = core::joinPath(folder, core::kDbFileName);
    Failure why;
    if (!db::createDatabaseFile(file, &why))
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), why.reason);
    if (!transfer::ensureTemplate(folder, &why))
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(transfer::templatePath(folder)), why.reason);
    return {};
}

} // namespace ui::startup
