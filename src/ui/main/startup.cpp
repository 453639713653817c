#include "ui/main/startup.h"

#include "core/app/globals.h"
#include "core/app/settings.h"
#include "core/db/database.h"
#include "core/db/legacyconversion.h"
#include "core/db/pgserver.h"
#include "core/transfer/transfer.h"
#include "ui/common/quitafterpaint.h"
#include "ui/common/services.h"
#include "ui/common/windowregistry.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QProgressDialog>
#include <QTableView>

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

bool offerToConvertLegacy(bool *declined)
{
    *declined = false;
    Failure why;
    std::unique_ptr<db::legacy::Reader> reader = db::legacy::Reader::openRegister(gDbFile, &why);
    if (!reader) {
        message(
            QStringLiteral("The database file \"%1\" is in the old program's format, but it cannot be converted: %2.")
                .arg(QDir::toNativeSeparators(gDbFile), why.reason),
            QString(), QMessageBox::Critical);
        return false;
    }
    const db::legacy::Counts counts = reader->counts();
    reader.reset();
    const auto answer
        = message(QStringLiteral("This is a register of the old program: %1. Convert it?").arg(db::countsText(counts)),
                  QString(), QMessageBox::Question, QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        *declined = true;
        return false;
    }

    // Large registers show the rows done so far, and may be stopped with nothing written.
    std::unique_ptr<QProgressDialog> dialog;
    bool stopped = false;
    const auto progress = [&](qint64 done, qint64 total) {
        if (!dialog && total >= 2 * transfer::kProgressThreshold) {
            dialog = std::make_unique<QProgressDialog>();
            dialog->setWindowTitle(core::kAppTitle);
            dialog->setWindowModality(Qt::ApplicationModal);
            dialog->setMinimumDuration(0);
            dialog->setAutoClose(false);
            dialog->setAutoReset(false);
            dialog->setRange(0, 1000);
        }
        if (!dialog)
            return true;
        const qint64 rows = total / 2;
        dialog->setLabelText(
            done <= rows ? QStringLiteral("Converting the old register: %1 of %2 rows").arg(done).arg(rows)
                         : QStringLiteral("Checking the new register: %1 of %2 rows").arg(done - rows).arg(rows));
        dialog->setValue(int(done * 1000 / std::max<qint64>(total, 1)));
        stopped = dialog->wasCanceled();
        return !stopped;
    };
    const std::optional<db::LegacyConversion> done = db::convertLegacy(gDbFile, gDbPath, progress, &why);
    dialog.reset();
    if (!done) {
        if (!stopped)
            message(why.description, QString(), QMessageBox::Critical);
        return false;
    }
    message(QStringLiteral("The register is converted: %1. The old file is kept as \"%2\".")
                .arg(db::countsText(done->counts), QDir::toNativeSeparators(done->keptFile)),
            QString(), QMessageBox::Information);
    if (!transfer::ensureTemplate(gExportPath, &why))
        message(why.description, QString(), QMessageBox::Warning);
    return true;
}

bool openDatabase()
{
    Failure why;
    const std::optional<db::Opened> opened = db::openRegister(&why);
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
    if (gServer.isSet()) // the server's register is made by --create-database, never by a desk
        openDatabase();
    else if (db::legacy::isLegacyFile(gDbFile) ? offerToConvertLegacy(&declined) : offerToCreateDatabase(&declined))
        openDatabase();
    frmMain *w = WindowRegistry::get<frmMain>();
    w->show();
}

void installPasswordPrompt()
{
    db::setPasswordPrompt([](const QString &address, const QString &user) -> std::optional<QString> {
        bool ok = false;
        const QString typed = QInputDialog::getText(
            nullptr, core::kAppTitle,
            QStringLiteral("The server \"%1\" asks for the password of %2.\nIt is kept for this session only.")
                .arg(address, user.isEmpty() ? QStringLiteral("your user") : QStringLiteral("\"%1\"").arg(user)),
            QLineEdit::Password, QString(), &ok);
        return ok ? std::optional<QString>(typed) : std::nullopt;
    });
}

QString createDatabaseOnServer(const QString &address)
{
    Failure why;
    const std::optional<ServerSettings> server = ServerSettings::fromAddress(address, &why);
    if (!server || !db::createServerRegister(*server, &why))
        return why.description;
    return {};
}

void quitWhenListsPainted()
{
    frmMain *w = WindowRegistry::get<frmMain>();
    // The lists are painted in one pass, the grid last in the tab order.
    auto *grid = w->findChild<QTableView *>(QStringLiteral("dbgPickup"));
    grid->viewport()->installEventFilter(new QuitAfterPaint(w));
}

QString createDatabaseInFolder(const QString &folder)
{
    // An empty name would put the database at the top of the file system.
    if (folder.trimmed().isEmpty())
        return QStringLiteral("no folder was given: name the folder to create the database in");
    const QString file = core::joinPath(folder, core::kDbFileName);
    Failure why;
    if (!db::createDatabaseFile(file, &why))
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), why.reason);
    if (!transfer::ensureTemplate(folder, &why))
        return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(transfer::templatePath(folder)), why.reason);
    return {};
}

} // namespace ui::startup
