// The preview window, and printing where no printer is installed.
#include "support/windows.h"
#include "ui/reports/reportpreview.h"

#include <QComboBox>
#include <QLabel>
#include <QPrinterInfo>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>

using namespace reports;

namespace {

const QDate kDate(2026, 3, 7);

ReportJob pickupsJob(int rows)
{
    return ReportJob{&DrpListofPickupsOnly(), reportrows::pickups(rows),
                     QStringLiteral("Project: TOWER ONE   Subcontractor: ACME STEEL"), kDate};
}

QToolButton *buttonFor(QWidget *window, const char *actionName)
{
    auto *action = window->findChild<QAction *>(QLatin1String(actionName));
    for (QToolBar *bar : window->findChildren<QToolBar *>())
        if (auto *b = action ? qobject_cast<QToolButton *>(bar->widgetForAction(action)) : nullptr)
            return b;
    return nullptr;
}

} // namespace

class TestReportPreview : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;
    std::unique_ptr<PrintingReportOutput> out;

    ReportPreview *preview(const ReportJob &job)
    {
        out->preview(job);
        auto *w = qobject_cast<ReportPreview *>(out->previewWindow(job.layout->name));
        return w && QTest::qWaitForWindowActive(w) ? w : nullptr;
    }

private slots:
    void initTestCase()
    {
        // No printer may be reachable: point the print system at a server that does not exist.
        qputenv("CUPS_SERVER", "/nonexistent/quillbern-test/cups.sock");
        qunsetenv("PRINTER");
        qunsetenv("LPDEST");
        QVERIFY2(QPrinterInfo::defaultPrinter().isNull(), "this test needs a machine without a reachable printer");
    }
    void init() { env = std::make_unique<TestEnv>(), out = std::make_unique<PrintingReportOutput>(); }
    void cleanup() { out.reset(), env.reset(); }

    // A modeless window over all pages, the page filling its width; zoom by steps, keys and
    // choice; a second preview of the same report replaces the pages, another report gets a
    // window of its own, and closing one forgets it.
    // Opened over the main window, not in a corner; Print has its picture as the others do.
    void previewWindow()
    {
        QVERIFY(env->createOffice());
        auto *main = ui::WindowRegistry::get<frmMain>();
        main->move(22, 163); // the preview, nearly the screen's size, fits centred over it
        main->show();
        QVERIFY(QTest::qWaitForWindowExposed(main));
        const ReportJob job = pickupsJob(130);
        const int pages = int(layoutJob(job).pages.size());
        ReportPreview *w = preview(job);
        QVERIFY(pages >= 3 && w && w->isWindow() && !w->isModal());
        QVERIFY((w->frameGeometry().center() - main->frameGeometry().center()).manhattanLength() <= 4);
        for (const char *name : {"actPrint", "actSavePdf", "actClose"})
            QVERIFY2(!w->findChild<QAction *>(QLatin1String(name))->icon().isNull(), name);
        QCOMPARE(w->windowTitle(), QStringLiteral("List of Pickups"));
        QTRY_VERIFY(w->pageCountKnown()); // counted on a worker
        QCOMPARE(QAccessible::queryAccessibleInterface(w)->role(), QAccessible::Window);
        QCOMPARE(QList<int>({w->pageCount(), w->currentPage(), w->findChild<QSpinBox *>(QStringLiteral("spnPage"))->value()}),
                 QList<int>({pages, 0, 1}));
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("lblPageCount"))->text().trimmed(), QStringLiteral("of %1").arg(pages));
        auto *scroll = w->findChild<QScrollArea *>(QStringLiteral("scrollPage"));
        auto *view = w->findChild<PageView *>(QStringLiteral("pageView"));
        QVERIFY(view->width() <= scroll->viewport()->width() && view->width() > scroll->viewport()->width() * 0.8);
        auto *combo = w->findChild<QComboBox *>(QStringLiteral("cboZoom"));
        auto choose = [&](const QString &text) {
            combo->setCurrentIndex(combo->findText(text));
            emit combo->activated(combo->currentIndex());
        };
        choose(QStringLiteral("100%"));
        QCOMPARE(w->zoom(), 1.0);
        QCOMPARE(view->width(), qCeil(view->paperSize().width()) + 2 * PageView::kMargin);
        QTest::mouseClick(buttonFor(w, "actZoomIn"), Qt::LeftButton);
        QCOMPARE(w->zoom(), 1.25);
        QCOMPARE(combo->currentText(), QStringLiteral("125%"));
        QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(w->zoom(), 0.75);
        choose(QStringLiteral("Whole Page"));
        QVERIFY(view->height() <= scroll->viewport()->height() && view->width() <= scroll->viewport()->width());
        w->lastPage();
        QCOMPARE(preview(pickupsJob(2)), w);
        QCOMPARE(QList<int>({w->pageCount(), w->currentPage(), w->document().rowCount}), QList<int>({1, 0, 2}));
        out->preview(ReportJob{&DrpListofPickups(), reportrows::pickups(3), QStringLiteral("All Pikups By date"), kDate});
        QWidget *other = out->previewWindow(QStringLiteral("DrpListofPickups"));
        QVERIFY(other && other != w);
        QPointer<QWidget> guard(w);
        w->close();
        QTRY_VERIFY(guard.isNull());
        QVERIFY(!out->previewWindow(QStringLiteral("DrpListofPickupsOnly")));
    }

    void pageKeys_data()
    {
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("page"); // from 1; 0 stands for the last page
        QTest::newRow("PgDn PgDn PgUp") << QList<int>{Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageUp} << 2;
        QTest::newRow("PgUp on the first page") << QList<int>{Qt::Key_PageUp} << 1;
        QTest::newRow("End PgDn stays on the last") << QList<int>{Qt::Key_End, Qt::Key_PageDown} << 0;
        QTest::newRow("End Home") << QList<int>{Qt::Key_End, Qt::Key_Home} << 1;
    }

    void pageKeys()
    {
        QFETCH(QList<int>, keys);
        QFETCH(int, page);
        const ReportJob job = pickupsJob(130);
        ReportPreview *w = preview(job);
        QVERIFY(w);
        const int last = int(layoutJob(job).pages.size());
        for (int k : keys)
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, Qt::Key(k));
        const int expected = page == 0 ? last : page;
        QCOMPARE(QList<int>({w->currentPage() + 1, w->findChild<QSpinBox *>(QStringLiteral("spnPage"))->value()}), QList<int>({expected, expected}));
        QCOMPARE(w->findChild<QAction *>(QStringLiteral("actNextPage"))->isEnabled(), expected < last);
        QCOMPARE(w->findChild<QAction *>(QStringLiteral("actPreviousPage"))->isEnabled(), expected > 1);
    }

    // Pages are laid out as the user moves to them, a few kept: going on, back past what is
    // kept, to the end and to a page typed in shows the pages the whole layout has.
    // Here every page is left to come later, as a page far ahead is.
    void pagesOnDemand()
    {
        const ReportJob job = pickupsJob(700);
        const ReportDocument whole = layoutJob(job);
        ReportPreview::setPatience(0, 0);
        const auto patient = qScopeGuard([] { ReportPreview::setPatience(20, 100); });
        ReportPreview *w = preview(job);
        QVERIFY(w && whole.pages.size() > 2 * ReportPreview::kKeptPages);
        const int n = int(whole.pages.size());
        auto *box = w->findChild<QSpinBox *>(QStringLiteral("spnPage"));
        const auto same = [&](int page) {
            const ReportPage *shown = w->shownPage();
            return shown && shown->number == page + 1 && shown->items.size() == whole.pages[page].items.size()
                && shown->items.last().text() == whole.pages[page].items.last().text();
        };
        QTRY_VERIFY(same(0) && w->keptPages() <= 1);
        auto *view = w->findChild<PageView *>(QStringLiteral("pageView"));
        const QImage first = view->grab().toImage();
        for (int page : {12, 1, n - 1, 3}) {
            const int before = w->currentPage();
            box->setValue(page + 1); // until it comes the window answers, busy, on the page before
            QVERIFY(w->currentPage() == before && box->value() == page + 1 && view->cursor().shape() == Qt::BusyCursor);
            QTRY_VERIFY2(same(page) && view->grab().toImage() != first, qPrintable(QString::number(page)));
            QVERIFY(w->keptPages() <= ReportPreview::kKeptPages && view->cursor().shape() != Qt::BusyCursor);
        }
        QTRY_VERIFY(w->pageCountKnown());
        QCOMPARE(w->pageCount(), n);
        QCOMPARE(w->findChild<QLabel *>(QStringLiteral("lblPageCount"))->text().trimmed(), QStringLiteral("of %1").arg(n));
    }

    void saveOrPrint_data()
    {
        QTest::addColumn<QString>("action"); // "print": the output's own print, no preview
        QTest::addColumn<int>("answer");     // to "no printer, save a PDF?"; 0: not asked
        QTest::addColumn<bool>("chooseFile");
        QTest::newRow("Save as PDF, file chosen") << "actSavePdf" << 0 << true;
        QTest::newRow("Save as PDF, cancelled") << "actSavePdf" << 0 << false;
        QTest::newRow("print, yes, file") << "print" << int(QMessageBox::Yes) << true;
        QTest::newRow("print, no") << "print" << int(QMessageBox::No) << false;
        QTest::newRow("preview Print, yes, file") << "actPrint" << int(QMessageBox::Yes) << true;
    }

    // "Save as PDF" writes every page to the chosen file. With no printer the user is told so
    // and may save a PDF instead; nothing is printed into a file behind the user's back.
    void saveOrPrint()
    {
        QFETCH(QString, action);
        QFETCH(int, answer);
        QFETCH(bool, chooseFile);
        const ReportJob job{&DrpListofProjects(), reportrows::projects(140), "Projects order by project", kDate};
        if (answer)
            env->messages.answers.enqueue(QMessageBox::StandardButton(answer));
        const QString path = env->path(QStringLiteral("projects.pdf"));
        if (answer != QMessageBox::No) // a name without ".pdf" gets it
            env->files.answers.enqueue(chooseFile ? std::optional<QString>(answer ? path : path.chopped(4)) : std::nullopt);
        const QStringList before = QDir(env->folder()).entryList(QDir::Files);
        if (action == QLatin1String("print")) {
            out->print(job);
        } else {
            ReportPreview *w = preview(job);
            QVERIFY(w);
            QTest::mouseClick(buttonFor(w, qPrintable(action)), Qt::LeftButton);
        }
        QVERIFY(env->files.answers.isEmpty()); // the file chooser was asked only when it should be
        QCOMPARE(env->messages.calls.size(), answer ? 1 : 0);
        for (const RecordingMessages::Call &m : env->messages.calls) {
            QVERIFY(m.text.contains(QStringLiteral("no printer")) && m.text.contains(QStringLiteral("PDF")) && m.title == "Quillbern");
            QCOMPARE(m.buttons, QMessageBox::Yes | QMessageBox::No);
        }
        QStringList after = QDir(env->folder()).entryList(QDir::Files);
        if (answer != QMessageBox::No && chooseFile) {
            QCOMPARE(pdftools::pageCount(path), int(layoutJob(job).pages.size()));
            after.removeAll(QStringLiteral("projects.pdf"));
        }
        QCOMPARE(after, before);
    }
};

QTEST_MAIN(TestReportPreview)
#include "tst_reportpreview.moc"
