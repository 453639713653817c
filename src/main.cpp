#include "core/app/demofolder.h"
#include "core/app/globals.h"
#include "core/app/settings.h"
#include "core/db/database.h"
#include "core/db/legacyconversion.h"
#include "core/db/sampledata.h"
#include "ui/common/services.h"
#include "ui/main/appicon.h"
#include "ui/main/startup.h"
#include "ui/reports/reportoutput.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
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
    p.addVersionOption();
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
                 QStringLiteral("End once the main window has been painted with its lists filled (for benchmarks).")});
    p.addOption(
        {QStringLiteral("demo"),
         QStringLiteral("Open a throwaway database full of sample data; your settings and database are not touched.")});
}

int createDatabase(const QCommandLineParser &p)
{
    const QString folder = p.value(QStringLiteral("create-database"));
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
int convertLegacy(const QCommandLineParser &p)
{
    const QString oldFile = p.value(QStringLiteral("convert-legacy"));
    const QStringList rest = p.positionalArguments();
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

// Options that do their work and exit without a window, so they need no display.
struct WindowlessCommand
{
    const char *option;
    int (*run)(const QCommandLineParser &);
};
const WindowlessCommand kWindowless[] = {
    {"create-database", createDatabase},
    {"convert-legacy", convertLegacy},
};

void nameApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Quillbern"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QB_VERSION));
}

// Qt would abort with a core dump; say what is missing instead.
bool noDisplay(int argc, char **argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (const char *var : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(var))
            return false;
    }
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "-platform" || QByteArray(argv[i]) == "--platform")
            return false;
    }
    return true;
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return false;
#endif
}

// Decided before any application object exists: a window needs a display, and Qt
// aborts without one, even for --help.
bool wantsWindow(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser probe;
    describeOptions(probe);
    const bool parsed = probe.parse(args);
    if (probe.isSet(QStringLiteral("help")) || probe.isSet(QStringLiteral("version")))
        return false;
    for (const WindowlessCommand &c : kWindowless) {
        if (probe.isSet(QString::fromLatin1(c.option)))
            return false;
    }
    // An unknown option may be one of Qt's own (-platform), which the window's parser
    // knows; without a display there will be no window to take it anyway.
    return parsed || !noDisplay(argc, argv);
}

int runWithoutWindow(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    nameApplication();
    QCommandLineParser p;
    describeOptions(p);
    p.process(app); // --help, --version and mistakes end here
    for (const WindowlessCommand &c : kWindowless) {
        if (p.isSet(QString::fromLatin1(c.option)))
            return c.run(p);
    }
    return 0;
}

// Everything in a folder of its own, settings included; the user's are never touched.
std::unique_ptr<Settings> prepareDemo(const DemoFolder &folder)
{
    if (!folder.isValid()) {
        std::fprintf(stderr, "quillbern: cannot make a temporary folder for the demo\n");
        return nullptr;
    }
    auto settings = std::make_unique<Settings>(folder.filePath(QStringLiteral("qubern.conf")));
    settings->write(QStringLiteral("paths"), QStringLiteral("ExportPath"), folder.path());
    settings->write(QStringLiteral("paths"), QStringLiteral("Dbpath"), folder.path());
    if (const QString why = startup::createDatabaseInFolder(folder.path()); !why.isEmpty()) {
        std::fprintf(stderr, "quillbern: %s\n", qPrintable(why));
        return nullptr;
    }
    core::loadGlobals(*settings);
    if (db::openMain(gDbFile)) {
        SampleSpec spec;
        spec.projects = 40;
        spec.companiesPerProject = 8;
        spec.pickupsPerCompany = 12;
        spec.orphanEvery = 23;
        spec.idleEvery = 5; // so that "Subcontractors not picked-up" lists someone
        generateSampleData(db::main(), spec);
    }
    return settings;
}

} // namespace

int main(int argc, char **argv)
{
    if (!wantsWindow(argc, argv))
        return runWithoutWindow(argc, argv);
    if (noDisplay(argc, argv)) {
        std::fprintf(stderr,
                     "quillbern: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set); "
                     "--help, --create-database and --convert-legacy work without one\n");
        return 1;
    }

    QApplication qapp(argc, argv);
    nameApplication();
    QGuiApplication::setDesktopFileName(kAppId);
    QCommandLineParser p;
    describeOptions(p);
    p.process(qapp); // before the font thread starts: a mistake here exits at once
    // The font list is read on the side while the icon is looked up, the settings are
    // read and the database opens: the first window's text needs it, and it is the
    // largest cost of start-up.
    std::jthread fonts([] { QFontDatabase::families(); });
    QApplication::setWindowIcon(appIcon());

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

    std::unique_ptr<DemoFolder> demo; // outlives the settings: their last write would make the folder again
    std::unique_ptr<Settings> settings;
    if (p.isSet(QStringLiteral("demo"))) {
        demo = std::make_unique<DemoFolder>();
        settings = prepareDemo(*demo);
        if (!settings)
            return 1;
    } else {
        settings = std::make_unique<Settings>();
    }
    s.settings = settings.get();

    startup::run(*settings);
    fonts.join();
    if (p.isSet(QStringLiteral("quit-when-shown")))
        startup::quitWhenListsPainted();
    const int rc = qapp.exec();
    s = Services();
    return rc;
}
