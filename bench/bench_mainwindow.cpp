// Main window benchmark on a large register: start-up against a bare Qt window,
// the subcontractor click, and peak memory. Prints every figure; not a test.
//
//   bench_mainwindow [--projects N] [--companies N] [--pickups N] [--db FILE]
//
// The database is generated once and reused from FILE (default in /tmp).
#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/datasource.h"
#include "core/db/sampledata.h"
#include "ui/common/services.h"
#include "ui/common/windowregistry.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListView>
#include <QProcess>
#include <QSqlQueryModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "common.h"
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>

using namespace core;
using namespace core::db;
using namespace core::reports;
using namespace ui;

namespace {

// Runs a program to its end; returns wall seconds and the child's peak RSS in KiB.
std::pair<double, long> runTimed(const QString &program, const QStringList &args, const QProcessEnvironment &env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(program, args);
    p.waitForFinished(-1);
    const double secs = t.nsecsElapsed() / 1e9;
    struct rusage ru;
    getrusage(RUSAGE_CHILDREN, &ru); // largest child so far
    if (p.exitCode() != 0)
        std::fprintf(stderr, "%s exited with %d\n", qPrintable(program), p.exitCode());
    return {secs, ru.ru_maxrss};
}

int generate(const QString &file, const SampleSpec &spec)
{
    if (QFileInfo::exists(file)) {
        std::printf("reusing %s\n", qPrintable(file));
        return 0;
    }
    const QString tmp = file + QStringLiteral(".part");
    QFile::remove(tmp);
    Failure why;
    if (!db::createDatabaseFile(tmp, &why)) {
        std::fprintf(stderr, "cannot create %s: %s\n", qPrintable(tmp), qPrintable(why.reason));
        return 1;
    }
    QElapsedTimer t;
    t.start();
    if (!db::openMain(tmp))
        return 1;
    const bool generated = generateSampleData(db::main(), spec, {}, &why);
    db::closeMain();
    if (!generated) {
        std::fprintf(stderr, "generation failed: %s\n", qPrintable(why.reason));
        return 1;
    }
    QFile::rename(tmp, file);
    std::printf("generated %s in %.1f s\n", qPrintable(file), t.elapsed() / 1000.0);
    return 0;
}

// In a child process, so that its memory is the application's alone.
int clicks(const QString &file, int rounds)
{
    gDbFile = file;
    if (!db::openMain(file))
        return 1;
    frmMain *w = window<frmMain>();
    w->show();
    QApplication::processEvents();
    auto *projects = w->findChild<QListView *>(QStringLiteral("dbProject"));
    auto *companies = w->findChild<QListView *>(QStringLiteral("dbsubcontractor"));
    auto *grid = w->findChild<QTableView *>(QStringLiteral("dbgPickup"));
    QList<double> times;
    const int visibleProjects = qMin(projects->model()->rowCount(), 200);
    for (int i = 0; i < rounds; ++i) {
        const QModelIndex p = projects->model()->index((i * 7) % visibleProjects, projects->modelColumn());
        projects->scrollTo(p);
        QTest::mouseClick(projects->viewport(), Qt::LeftButton, {}, projects->visualRect(p).center());
        QApplication::processEvents();
        const int n = companies->model()->rowCount();
        if (n == 0)
            continue;
        const QModelIndex c = companies->model()->index(i % n, companies->modelColumn());
        const QPoint at = companies->visualRect(c).center();
        QElapsedTimer t;
        t.start();
        QTest::mouseClick(companies->viewport(), Qt::LeftButton, {}, at);
        QApplication::processEvents(); // the click is handled once the press is over
        grid->viewport()->repaint();   // and the grid drawn
        times << t.nsecsElapsed() / 1e6;
        if (grid->model()->rowCount() == 0)
            std::fprintf(stderr, "warning: a click showed no pick-ups\n");
    }
    std::printf("CLICK_MEDIAN_MS %.3f\nCLICK_MAX_MS %.3f\nCLICKS %lld\nCLICK_PEAK_KIB %ld\n", median(times),
                times.isEmpty() ? 0.0 : *std::max_element(times.begin(), times.end()), qint64(times.size()), long(statusMiB("VmHWM") * 1024));
    WindowRegistry::destroyAll();
    db::closeMain();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    SampleSpec spec;
    spec.projects = option(args, QStringLiteral("--projects"), QStringLiteral("10000")).toInt();
    spec.companiesPerProject = option(args, QStringLiteral("--companies"), QStringLiteral("10")).toInt();
    spec.pickupsPerCompany = option(args, QStringLiteral("--pickups"), QStringLiteral("10")).toInt();
    spec.orphanEvery = 97;
    const QString file = option(args, QStringLiteral("--db"),
                                QStringLiteral("/tmp/quillbern-bench-%1-%2-%3.mdb")
                                    .arg(spec.projects)
                                    .arg(spec.companiesPerProject)
                                    .arg(spec.pickupsPerCompany));
    const int rounds = option(args, QStringLiteral("--rounds"), QStringLiteral("200")).toInt();

    if (args.contains(QStringLiteral("--child-clicks")))
        return clicks(file, rounds);
    if (int rc = generate(file, spec))
        return rc;

    const QString dir = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath();
    const QString appPath = option(args, QStringLiteral("--app"), dir + QStringLiteral("/../quillbern"));
    const QString floorPath = dir + QStringLiteral("/floor_window");

    // The application reads its folders from the user's settings: give it its own.
    QTemporaryDir config;
    QDir(config.path()).mkpath(QStringLiteral("qubern"));
    QFile conf(config.filePath(QStringLiteral("qubern/qubern.conf")));
    conf.open(QIODevice::WriteOnly);
    conf.write(QStringLiteral("[paths]\nExportPath=%1\ndbpath=%1\n").arg(config.path()).toUtf8());
    conf.close();
    const QString link = config.filePath(QStringLiteral("db1.mdb"));
    QFile::link(file, link);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    if (!env.contains(QStringLiteral("DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    // Warm the page cache and the dynamic loader once, then alternate.
    runTimed(floorPath, {}, env);
    runTimed(appPath, {QStringLiteral("--quit-when-shown")}, env);
    QList<double> app_, floor_;
    long appPeak = 0;
    for (int i = 0; i < 9; ++i) {
        floor_ << runTimed(floorPath, {}, env).first;
        const auto [secs, peak] = runTimed(appPath, {QStringLiteral("--quit-when-shown")}, env);
        app_ << secs;
        appPeak = std::max(appPeak, peak);
    }
    const double a = median(app_), f = median(floor_);
    std::printf("register: %d projects, %d subcontractors, %d pick-ups\n", spec.projects,
                spec.projects * spec.companiesPerProject, spec.projects * spec.companiesPerProject * spec.pickupsPerCompany);
    std::printf("start-up to the first paint of the lists: application %.1f ms, window with a menu bar and a list view (floor) %.1f ms, ratio %.2f (limit 1.25)\n", a * 1000,
                f * 1000, f > 0 ? a / f : 0.0);

    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QString::fromLocal8Bit(argv[0]),
                {QStringLiteral("--child-clicks"), QStringLiteral("--db"), file, QStringLiteral("--rounds"), QString::number(rounds)});
    child.waitForFinished(-1);
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    auto figure = [&](const QString &key) {
        for (const QString &line : out.split('\n'))
            if (line.startsWith(key + ' '))
                return line.mid(key.size() + 1).toDouble();
        return -1.0;
    };
    std::printf("subcontractor click: median %.2f ms, max %.2f ms over %d clicks (limit: median 5 ms)\n",
                figure(QStringLiteral("CLICK_MEDIAN_MS")), figure(QStringLiteral("CLICK_MAX_MS")),
                int(figure(QStringLiteral("CLICKS"))));
    const double peakMiB = std::max<double>(appPeak, figure(QStringLiteral("CLICK_PEAK_KIB"))) / 1024.0;
    std::printf("peak memory of the application: %.1f MiB (start-up %.1f MiB, after the clicks %.1f MiB; limit 150 MB)\n",
                peakMiB, appPeak / 1024.0, figure(QStringLiteral("CLICK_PEAK_KIB")) / 1024.0);
    QFile::remove(link);
    return 0;
}
