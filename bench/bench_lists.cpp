// Lists on a large register: RefreshInterface with the chosen project anywhere in
// a list of 100,000 projects (after a change of any table, and after a pick-up
// saved), and the list of every pick-up (1,000,000 rows) taken to its last row
// with Ctrl+End and scrolled end to end. Prints every figure
// beside its limit; not a test.
//
//   bench_lists [--projects N] [--pickups N]   (pick-ups per project; one subcontractor each)
#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/datasource.h"
#include "core/db/rowwindow.h"
#include "core/db/sampledata.h"
#include "ui/common/windowregistry.h"
#include "ui/lists/frmListofPickups.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QListView>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

#include "common.h"
#include <algorithm>
#include <cstdio>

using namespace core;
using namespace core::db;
using namespace ui;

namespace {

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList args = app.arguments();
    SampleSpec spec;
    spec.projects = option(args, QStringLiteral("--projects"), QStringLiteral("100000")).toInt();
    spec.companiesPerProject = 1;
    spec.pickupsPerCompany = option(args, QStringLiteral("--pickups"), QStringLiteral("10")).toInt();
    const QString file = QStringLiteral("/tmp/quillbern-bench-lists-%1-%2.mdb").arg(spec.projects).arg(spec.pickupsPerCompany);
    if (!QFileInfo::exists(file)) {
        const QString tmp = file + QStringLiteral(".part");
        QFile::remove(tmp);
        Failure why;
        QElapsedTimer t;
        t.start();
        if (!db::createDatabaseFile(tmp, &why) || !db::openMain(tmp, &why)
            || !generateSampleData(db::main(), spec, {}, &why)) {
            std::fprintf(stderr, "cannot generate %s: %s\n", qPrintable(tmp), qPrintable(why.description));
            return 1;
        }
        db::closeMain();
        QFile::rename(tmp, file);
        std::printf("generated %s in %.1f s\n", qPrintable(file), t.elapsed() / 1000.0);
    }
    gDbFile = file;
    if (!db::openMain(file))
        return 1;
    std::printf("register: %d projects, %d pick-ups; load average %.1f on 2 cores (shared)\n", spec.projects,
                spec.projects * spec.pickupsPerCompany, loadAverage());

    // RefreshInterface with the chosen project first, in the middle, last.
    frmMain *w = window<frmMain>();
    w->show();
    if (!QTest::qWaitForWindowExposed(w))
        return 1;
    auto *projects = w->findChild<QListView *>(QStringLiteral("dbProject"));
    // The list is counted after its first paint; its middle and end are wanted.
    if (!QTest::qWaitFor([&] { return projects->model()->rowCount() > 128; }, 10000)) {
        std::printf("the project list was not counted\n");
        return 1;
    }
    const int n = projects->model()->rowCount();
    for (const auto &[where, row] : {std::pair{"first", 0}, std::pair{"middle", n / 2}, std::pair{"last", n - 1}}) {
        const QModelIndex at = projects->model()->index(row, 0);
        projects->scrollTo(at);
        QTest::mouseClick(projects->viewport(), Qt::LeftButton, {}, projects->visualRect(at).center());
        QApplication::processEvents();
        const auto chosen = w->chosenProjectId();
        // After a change of any table (the project list read again), and after a pick-up saved.
        for (const QString &table : {QString(), QStringLiteral("pickuplog")}) {
            QList<double> times;
            for (int i = 0; i < 21; ++i) {
                QElapsedTimer t;
                t.start();
                w->RefreshInterface(table);
                times << t.nsecsElapsed() / 1e6;
            }
            const bool kept = w->chosenProjectId() == chosen && projects->currentIndex().row() == row;
            std::printf("RefreshInterface%-11s chosen project %-6s (row %7d): median %6.2f ms, max %6.2f ms%s (limit 10 ms)\n",
                        table.isEmpty() ? "," : ", pick-up,", where, row, median(times),
                        *std::max_element(times.begin(), times.end()), kept ? "" : "  NOT KEPT");
        }
    }
    WindowRegistry::destroyAll();

    // The list of every pick-up, to its end and back.
    const double before = statusMiB("VmRSS");
    auto *list = window<frmListofPickups>();
    QElapsedTimer t;
    t.start();
    list->showall(QStringLiteral("1/1/1900"), QStringLiteral("12/31/2100"));
    QTableView *grid = list->grid();
    if (!QTest::qWaitForWindowExposed(list))
        return 1;
    grid->viewport()->repaint();
    const double opened = t.nsecsElapsed() / 1e6;
    const int rows = grid->model()->rowCount();
    grid->setFocus();
    t.restart();
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    grid->viewport()->repaint();
    const double toEnd = t.nsecsElapsed() / 1e6;
    const int lastShown = grid->rowAt(grid->viewport()->height() - 2);
    std::printf("list of pick-ups: %d rows; shown in %.0f ms; Ctrl+End %.1f ms to row %d of %d (limit 500 ms)\n", rows,
                opened, toEnd, grid->currentIndex().row() + 1, rows);
    if (grid->currentIndex().row() != rows - 1 || lastShown < rows - 2)
        std::printf("  the last row is NOT shown\n");
    QScrollBar *bar = grid->verticalScrollBar();
    t.restart();
    const int steps = 50;
    for (int i = 0; i <= steps; ++i) {
        bar->setValue(int(qint64(bar->maximum()) * (steps - i) / steps)); // end to start
        grid->viewport()->repaint();
    }
    for (int i = 0; i <= steps; ++i) {
        bar->setValue(int(qint64(bar->maximum()) * i / steps)); // and back
        grid->viewport()->repaint();
    }
    const double scrolled = t.nsecsElapsed() / 1e6;
    std::printf("scrolled end to start and back in %d steps of the scroll bar: %.0f ms, %.2f ms a step\n", 2 * steps,
                scrolled, scrolled / (2 * steps + 2));
    std::printf("memory after scrolling: %.1f MiB resident (%.1f MiB before the list opened), peak %.1f MiB "
                "(limit 150 MB); pages held %d of %d rows\n",
                statusMiB("VmRSS"), before, statusMiB("VmHWM"),
                qobject_cast<RowWindow *>(grid->model())->keptPages(), RowWindow::kPageRows);
    WindowRegistry::destroyAll();
    db::closeMain();
    return 0;
}
