// Lays out and writes a report of many pick-ups with notes of mixed lengths, and
// reports pages, seconds and pages per second. Not a test: run it by hand.
//
//   bench_report [--rows N] [--layout NAME] [--out FILE.pdf] [--repeat K]

#include "core/reports/layoutpass.h"
#include "core/reports/reportlayout.h"
#include "core/reports/reportpainter.h"

#include <QDate>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

using namespace core;
using namespace core::db;
using namespace core::reports;

namespace {

const char *const kWords[] = {"BOX", "PACKAGE", "LEFT", "AT", "FRONT", "DESK", "SIGNED",
                              "BY", "THE", "FOREMAN", "DRAWINGS", "REVISED", "SHEETS", "FOR",
                              "LEVEL", "TWO", "CONCRETE", "SAMPLES", "RETURNED", "PERMIT", "COPY",
                              "INVOICE", "PENDING", "ELECTRICAL", "PANEL", "SCHEDULE", "KEYS", "TO",
                              "SITE", "OFFICE", "CALL", "BEFORE", "PICKUP", "MISSING", "ONE",
                              "ROLL", "OF", "PLANS", "SUBMITTALS-ADDENDUM-NUMBER-THREE"};

QString words(QRandomGenerator &rng, int chars)
{
    QString s;
    while (s.size() < chars) {
        if (!s.isEmpty())
            s += QLatin1Char(' ');
        s += QString::fromLatin1(kWords[rng.bounded(int(std::size(kWords)))]);
    }
    return s;
}

// Mostly short notes, some paragraphs, a few very long ones.
int noteLength(QRandomGenerator &rng)
{
    const int p = rng.bounded(100);
    if (p < 30)
        return 0;
    if (p < 65)
        return rng.bounded(5, 60);
    if (p < 90)
        return rng.bounded(60, 300);
    if (p < 99)
        return rng.bounded(300, 1200);
    return rng.bounded(1200, 4000);
}

RowSet pickups(int n)
{
    QRandomGenerator rng(20260307);
    RowSet rs;
    rs.columns = {"id", "idauthorizedcompany", "idproject", "pickupdate", "pickupby", "package", "note", "name"};
    rs.rows.reserve(n);
    const QDate start(2020, 1, 1);
    for (int i = 0; i < n; ++i) {
        const int len = noteLength(rng);
        rs.rows.append({i + 1, rng.bounded(1, 200), rng.bounded(1, 40),
                        start.addDays(i / 8).toString(Qt::ISODate), words(rng, rng.bounded(6, 24)),
                        words(rng, rng.bounded(4, 30)),
                        len ? QVariant(words(rng, len)) : QVariant(QMetaType::fromType<QString>()),
                        QStringLiteral("SUBCONTRACTOR %1 LLC").arg(rng.bounded(1, 200))});
    }
    return rs;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    int rows = 10000, repeat = 1;
    QString layoutName = QStringLiteral("DrpListofPickups"), out;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--rows"))
            rows = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--layout"))
            layoutName = args[i + 1];
        else if (args[i] == QLatin1String("--out"))
            out = args[i + 1];
        else if (args[i] == QLatin1String("--repeat"))
            repeat = std::max(1, args[i + 1].toInt());
    }
    const reports::ReportLayout *layout = reports::layoutByName(layoutName);
    if (!layout) {
        std::fprintf(stderr, "bench_report: no layout %s\n", qPrintable(layoutName));
        return 2;
    }
    QTemporaryDir tmp;
    if (out.isEmpty())
        out = tmp.filePath(QStringLiteral("bench.pdf"));

    const RowSet data = pickups(rows);
    std::printf("%s, %d rows\n", qPrintable(layout->name), rows);
    for (int r = 0; r < repeat; ++r) {
        QElapsedTimer t;
        t.start();
        const reports::ReportDocument doc = reports::layoutReport(*layout, data, QStringLiteral("All Pikups By date"), QDate(2026, 3, 7));
        const double layoutSec = t.nsecsElapsed() / 1e9;
        Failure why;
        if (!reports::writePdf(doc, out, &why)) {
            std::fprintf(stderr, "bench_report: %s\n", qPrintable(why.description));
            return 1;
        }
        const double total = t.nsecsElapsed() / 1e9;
        const int pages = int(doc.pages.size());
        std::printf("pages %d  layout %.3f s  pdf %.3f s  total %.3f s  %.1f pages/s\n", pages, layoutSec,
                    total - layoutSec, total, pages / total);
    }
    return 0;
}
