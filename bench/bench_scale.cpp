// Reports, pickers and date ranges on a large register, each beside its floor.
// Not a test: run it by hand.
//
//   bench_scale make FILE [--projects P] [--companies C] [--pickups K]
//       a register of P projects with C subcontractors each and K pick-ups per
//       subcontractor, made by the product's own generator (default 100000 x 10 x 1:
//       100k projects, 1M subcontractors, 1M pick-ups)
//   bench_scale report FILE [--out FILE.pdf] [--floor]
//       "All Pikups By date" over every pick-up to PDF: seconds, pages, peak memory;
//       --floor reads the same rows with the plain query and nothing else
//   bench_scale pickers FILE     first screenful of the pickers and lists, beside the floor
//   bench_scale dates FILE       a wide date range read row by row: microseconds per row

#include "core/app/failure.h"
#include "core/db/database.h"
#include "core/db/sampledata.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <cstdio>
#include <cstdlib>

using namespace core;
using namespace core::db;

namespace {

[[noreturn]] void die(const QString &why)
{
    std::fprintf(stderr, "bench_scale: %s\n", qPrintable(why));
    std::exit(1);
}

QString option(const QStringList &args, const char *name, const QString &fallback = {})
{
    const int i = int(args.indexOf(QString::fromLatin1(name)));
    return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : fallback;
}

// Peak resident memory of this process so far, in MiB.
double peakMiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

double loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().split(' ').value(0).toDouble() : -1;
}

int make(const QString &path, const QStringList &args)
{
    SampleSpec spec;
    spec.projects = option(args, "--projects", QStringLiteral("100000")).toInt();
    spec.companiesPerProject = option(args, "--companies", QStringLiteral("10")).toInt();
    spec.pickupsPerCompany = option(args, "--pickups", QStringLiteral("1")).toInt();
    const QString part = path + QStringLiteral(".part");
    QFile::remove(part);
    if (Failure why; !createDatabaseFile(part, &why))
        die(why.description);
    QElapsedTimer t;
    t.start();
    {
        if (Failure why; !openConnection(QStringLiteral("gen"), part, false, &why))
            die(why.description);
        QSqlDatabase d = QSqlDatabase::database(QStringLiteral("gen"), false);
        QSqlQuery(d).exec(QStringLiteral("PRAGMA synchronous=OFF"));
        if (Failure why; !generateSampleData(d, spec, {}, &why))
            die(why.description);
    }
    closeConnection(QStringLiteral("gen"));
    QFile::remove(path);
    if (!QFile::rename(part, path))
        die(QStringLiteral("cannot rename into ") + path);
    std::printf("made %s: %d projects, %d subcontractors, %lld pick-ups in %.1f s\n", qPrintable(path), spec.projects,
                spec.projects * spec.companiesPerProject,
                qint64(spec.projects) * spec.companiesPerProject * spec.pickupsPerCompany, t.elapsed() / 1000.0);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        die(QStringLiteral("usage: bench_scale make|report|pickers|dates FILE [options]"));
    const QString cmd = args.at(1), path = args.at(2);
    std::printf("load average %.2f\n", loadAverage());
    if (cmd == QLatin1String("make"))
        return make(path, args);
    die(QStringLiteral("unknown command ") + cmd);
}
