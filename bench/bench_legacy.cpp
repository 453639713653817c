// Conversion of an old register against the floor of reading every row of its three
// tables with mdbtools alone (mdb-export, one run a table), per row. Not a test: run
// it by hand.
//
//   bench_legacy [--repeat K] [FILE]
//
// FILE defaults to the largest old register among the test files.

#include "core/db/legacy.h"
#include "core/db/legacyconversion.h"

#include "common.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace core;
using namespace core::db;

namespace {

// The median of `repeat` runs, in milliseconds.
double median(int repeat, const std::function<void()> &run)
{
    std::vector<double> ms;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        ms.push_back(t.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

QString loadText()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2)
                                       : QStringLiteral("?");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int repeat = 21;
    if (const qsizetype i = args.indexOf(QStringLiteral("--repeat")); i >= 0 && i + 1 < args.size()) {
        repeat = std::max(1, args.at(i + 1).toInt());
        args.remove(i, 2);
    }
    const QString file = args.isEmpty() ? QStringLiteral(QB_SOURCE_DIR "/tests/fixtures/legacy/legacy-register-ace.accdb")
                                        : args.first();
    Failure why;
    const auto reader = legacy::Reader::openRegister(file, &why);
    if (!reader)
        die(why.description);
    const qint64 rows = reader->counts().total();

    const double floor = median(repeat, [&] {
        for (const char *table : {"project", "authorizedcompanies", "pickuplog"}) {
            QProcess p;
            p.setStandardOutputFile(QProcess::nullDevice());
            p.start(QStringLiteral("mdb-export"), {file, QString::fromLatin1(table)});
            if (!p.waitForFinished(60000) || p.exitCode() != 0)
                die(QStringLiteral("mdb-export could not read %1 (is the Debian package mdbtools installed?)").arg(file));
        }
    });
    const double read = median(repeat, [&] {
        for (const char *table : {"project", "authorizedcompanies", "pickuplog"})
            if (!reader->readRows(
                    QString::fromLatin1(table), [](const QVariantList &) { return true; }, &why))
                die(why.description);
    });
    const double convert = median(repeat, [&] {
        QTemporaryDir dir;
        if (!convertLegacy(file, dir.path(), {}, &why))
            die(why.description);
    });

    std::printf("old register: %s, %s, %lld rows (%s)\n", qPrintable(file), qPrintable(reader->format()),
                static_cast<long long>(rows), qPrintable(countsText(reader->counts())));
    std::printf("median of %d runs, load %s\n", repeat, qPrintable(loadText()));
    std::printf("  floor: mdb-export of the three tables  %8.2f ms  %8.1f us/row\n", floor, floor * 1000 / rows);
    std::printf("  our reader alone, every row            %8.2f ms  %8.1f us/row\n", read, read * 1000 / rows);
    std::printf("  conversion (new register, checked)     %8.2f ms  %8.1f us/row  ratio %.2f (limit 2)\n", convert,
                convert * 1000 / rows, convert / floor);
    return 0;
}
