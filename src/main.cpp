#include "core/app/globals.h"
#include "core/app/settings.h"
#include "core/db/database.h"
#include "core/db/legacyconversion.h"
#include "core/db/sampledata.h"
#include "ui/common/services.h"
#include "ui/main/startup.h"
#include "ui/reports/reportoutput.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <thread>

using namespace core;
using namespace core::db;
using namespace ui;

namespace {

void describeOptions(QCommandLineParser &p)
{
    p.setApplicationDescription(QStringLiteral("Quillbern: projects, authorized subcontractors and pick-ups."));
    p.addHelpOption();
    p.addOption({QStringLiteral("create-database"),
                 QStringLiteral("Create an empty database (db1.mdb and the transfer template) in <folder> and exit; "
                                "or, given postgresql://USER@HOST:PORT/DBNAME, the register's tables in that "
                                "existing, empty database on the server."),
                 QStringLiteral("folder")});
    p.addOption(
        {QStringLiteral("convert-legacy"),
         QStringLiteral("Convert the old program's register <oldfile> into a new database db1.mdb in the folder "
                        "given next (quillbern --convert-legacy OLDFILE FOLDER), keeping the old file there "
                        "under a name that says what it is; print the counts and exit."),
         QStringLiteral("oldfile")});
    p.addOption({QStringLiteral("quit-when-shown"),
                 QStringLiteral("End as soon as the main window is shown with its lists filled (for benchmarks).")});
    p.addOption(
        {QStringLiteral("demo"),
         QStringLiteral("Open a throwaway database full of sample data; your settings and database are not touched.")});
}

// Drawn rather than decoded: reading a PNG this early costs a look-up of every
// image-format plugin. The same picture is resources/images/quillbern.png.
QIcon appIcon()
{
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(22, 62, 122));
    p.drawRoundedRect(QRectF(2, 2, 59, 59), 10, 10);
    const QColor ink(196, 220, 245);
    p.setPen(QPen(ink, 3));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(14, 26, 36, 26));
    p.drawPolyline(QPolygonF({QPointF(10, 28), QPointF(32, 10), QPointF(54, 28)}));
    p.fillRect(QRectF(28, 38, 8, 14), ink);
    p.end();
    return QIcon(pm);
}

int createDatabase(const QString &folder)
{
    if (folder.startsWith(QLatin1String("postgres"), Qt::CaseInsensitive) && folder.contains(QLatin1String("://"))) {
        if (const QString why = startup::createDatabaseOnServer(folder); !why.isEmpty()) {
            std::fprintf(stderr, "quillbern: cannot create the database: %s\n", qPrintable(why));
            return 1;
        }
        std::printf("Created the register in %s\n", qPrintable(folder));
        return 0;
    }
    const QString why = startup::createDatabaseInFolder(folder);
    if (!why.isEmpty()) {
        std::fprintf(stderr, "quillbern: cannot create the database: %s\n", qPrintable(why));
        return 1;
    }
    std::printf("Created %s\n", qPrintable(QDir::toNativeSeparators(core::joinPath(folder, core::kDbFileName))));
    return 0;
}

// `--convert-legacy OLDFILE FOLDER`, without a window.
int convertLegacy(const QString &oldFile, const QStringList &rest)
{
    if (rest.size() != 1) {
        std::fprintf(stderr, "quillbern: --convert-legacy takes the old file and the folder of the new database\n");
        return 2;
    }
    Failure why;
    const auto done = db::convertLegacy(oldFile, rest.first(), {}, &why);
    if (!done) {
        std::fprintf(stderr, "quillbern: %s\n", qPrintable(why.description));
        return 1;
    }
    std::printf("Converted %s into %s: %s.\nThe old file is kept as %s.\n",
                qPrintable(QDir::toNativeSeparators(oldFile)), qPrintable(QDir::toNativeSeparators(done->registerFile)),
                qPrintable(db::countsText(done->counts)), qPrintable(QDir::toNativeSeparators(done->keptFile)));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // The database can be made without a display.
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--create-database" || QByteArray(argv[i]).startsWith("--create-database=")) {
            QCoreApplication core(argc, argv);
            QCommandLineParser p;
            describeOptions(p);
            p.process(core);
            return createDatabase(p.value(QStringLiteral("create-database")));
        }
        if (QByteArray(argv[i]) == "--convert-legacy" || QByteArray(argv[i]).startsWith("--convert-legacy=")) {
            QCoreApplication core(argc, argv);
            QCommandLineParser p;
            describeOptions(p);
            p.process(core);
            return convertLegacy(p.value(QStringLiteral("convert-legacy")), p.positionalArguments());
        }
    }

    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillbern"));
    QApplication::setWindowIcon(appIcon());
    // The font list is read on the side while the settings are read and the database
    // opens: the first window's text needs it, and it is the largest cost of start-up.
    std::jthread fonts([] { QFontDatabase::families(); });
    QCommandLineParser p;
    describeOptions(p);
    p.process(qapp);

    DialogMessages messages;
    DialogFileChooser files;
    AppQuitter quitter;
    PrintingReportOutput reports;
    Services &s = services();
    s.messages = &messages;
    s.files = &files;
    s.quitter = &quitter;
    s.reports = &reports;
    startup::installPasswordPrompt();

    std::unique_ptr<Settings> settings;
    QTemporaryDir demoDir;
    if (p.isSet(QStringLiteral("demo"))) {
        // Everything in a temporary folder, settings included.
        if (!demoDir.isValid()) {
            std::fprintf(stderr, "quillbern: cannot make a temporary folder for the demo\n");
            return 1;
        }
        settings = std::make_unique<Settings>(demoDir.filePath(QStringLiteral("qubern.conf")));
        settings->write(QStringLiteral("paths"), QStringLiteral("ExportPath"), demoDir.path());
        settings->write(QStringLiteral("paths"), QStringLiteral("Dbpath"), demoDir.path());
        if (const QString why = startup::createDatabaseInFolder(demoDir.path()); !why.isEmpty()) {
            std::fprintf(stderr, "quillbern: %s\n", qPrintable(why));
            return 1;
        }
        core::loadGlobals(*settings);
        if (db::openMain(gDbFile)) {
            SampleSpec spec;
            spec.projects = 40;
            spec.companiesPerProject = 8;
            spec.pickupsPerCompany = 12;
            spec.orphanEvery = 23;
            generateSampleData(db::main(), spec);
        }
    } else {
        settings = std::make_unique<Settings>();
    }
    s.settings = settings.get();

    startup::run(*settings);
    fonts.join();
    if (p.isSet(QStringLiteral("quit-when-shown")))
        QTimer::singleShot(0, &qapp, &QCoreApplication::quit);
    const int rc = qapp.exec();
    s = Services();
    return rc;
}
