#include "ui/main/startup.h"

#include "core/app/globals.h"
#include "ui/common/services.h"
#include "core/app/settings.h"
#include "ui/common/windowregistry.h"
#include "core/db/database.h"
#include "core/transfer/transfer.h"
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
                                QString(), QMessageBox::Question, QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        *declined = true;
        return false;
    }
    const QString why = db::createDatabaseFile(gDbFile);
    if (!why.isEmpty()) {
        message(QStringLiteral("The database file \"%1\" cannot be created: %2.")
                    .arg(QDir::toNativeSeparators(gDbFile), why),
                QString(), QMessageBox::Critical);
        return false;
    }
    const QString templateWhy = transfer::ensureTemplate(gExportPath);
    if (!templateWhy.isEmpty())
        message(QStringLiteral("The transfer template \"%1\" cannot be created: %2.")
                    .arg(QDir::toNativeSeparators(transfer::templatePath(gExportPath)), templateWhy),
                QString(), QMessageBox::Warning);
    return true;
}

bool openDatabase()
{
    const db::OpenResult r = db::openMain(gDbFile);
    if (!r.ok)
        message(r.message, QString(), QMessageBox::Critical);
    else if (r.readOnly)
        message(r.message, QString(), QMessageBox::Warning);
    return r.ok;
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
    if (QString why = db::createDatabaseFile(file); !why.isEmpty())
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), why);
    if (QString why = transfer::ensureTemplate(folder); !why.isEmpty())
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(transfer::templatePath(folder)), why);
    return {};
}

} // namespace ui::startup
