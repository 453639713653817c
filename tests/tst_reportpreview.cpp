// The preview window and printing where no printer is installed.

#include "reports/layoutpass.h"
#include "reports/reportlayout.h"
#include "reports/reportoutput.h"
#include "reports/reportpreview.h"
#include "support/recordingreports.h"
#include "support/testenv.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPrinterInfo>
#include <QScrollArea>
#include <QSpinBox>
#include <QTest>
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

QToolButton *buttonFor(QWidget *window, const QString &actionName)
{
    auto *action = window->findChild<QAction *>(actionName);
    if (!action)
        return nullptr;
    for (QToolBar *bar : window->findChildren<QToolBar *>())
        if (auto *b = qobject_cast<QToolButton *>(bar->widgetForAction(action)))
            return b;
    return nullptr;
}

} // namespace

class TestReportPreview : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void previewOpensAModelessWindow();
    void pageKeys_data();
    void pageKeys();
    void zoom();
    void saveAsPdf_data();
    void saveAsPdf();
    void printWithoutPrinter_data();
    void printWithoutPrinter();
    void newPreviewReplacesPages();
};

void TestReportPreview::initTestCase()
{
    QVERIFY2(QPrinterInfo::defaultPrinter().isNull(), "this test needs a machine without a reachable printer");
}

void TestReportPreview::previewOpensAModelessWindow()
{
    TestEnv env;
    PrintingReportOutput out;
    const ReportJob job = pickupsJob(130);
    const int pages = int(layoutJob(job).pages.size());
    QVERIFY(pages >= 3);
    out.preview(job);
    auto *w = qobject_cast<ReportPreview *>(out.previewWindow(QStringLiteral("DrpListofPickupsOnly")));
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QVERIFY(w->isWindow());
    QVERIFY(!w->isModal());
    QCOMPARE(w->windowTitle(), QStringLiteral("List of Pickups"));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QCOMPARE(w->pageCount(), pages);
    QCOMPARE(w->currentPage(), 0);
    QCOMPARE(w->findChild<QLabel *>(QStringLiteral("lblPageCount"))->text().trimmed(),
             QStringLiteral("of %1").arg(pages));
    QCOMPARE(w->findChild<QSpinBox *>(QStringLiteral("spnPage"))->value(), 1);
    for (const char *name : {"actFirstPage", "actPreviousPage", "actNextPage", "actLastPage", "actZoomIn",
                             "actZoomOut", "actPrint", "actSavePdf"})
        QVERIFY2(buttonFor(w, QString::fromLatin1(name)), name);
    QCOMPARE(buttonFor(w, QStringLiteral("actPrint"))->text(), QStringLiteral("Print"));
    QCOMPARE(buttonFor(w, QStringLiteral("actSavePdf"))->text(), QStringLiteral("Save as PDF"));
    // The page fills the window's width.
    auto *scroll = w->findChild<QScrollArea *>(QStringLiteral("scrollPage"));
    auto *view = w->findChild<PageView *>(QStringLiteral("pageView"));
    QVERIFY(scroll && view);
    QVERIFY(view->width() <= scroll->viewport()->width());
    QVERIFY(view->width() > scroll->viewport()->width() * 0.8);

    const QString dir = qEnvironmentVariable("QB_REPORT_OUTPUT");
    if (!dir.isEmpty()) {
        QDir().mkpath(dir);
        w->grab().save(QDir(dir).filePath(QStringLiteral("preview.png")));
    }
}

void TestReportPreview::pageKeys_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("page"); // from 1; 0 stands for the last page
    QTest::newRow("PgDn") << QList<int>{Qt::Key_PageDown} << 2;
    QTest::newRow("PgDn PgDn PgUp") << QList<int>{Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageUp} << 2;
    QTest::newRow("PgUp on the first page") << QList<int>{Qt::Key_PageUp} << 1;
    QTest::newRow("End") << QList<int>{Qt::Key_End} << 0;
    QTest::newRow("End PgDn stays on the last") << QList<int>{Qt::Key_End, Qt::Key_PageDown} << 0;
    QTest::newRow("End Home") << QList<int>{Qt::Key_End, Qt::Key_Home} << 1;
}

void TestReportPreview::pageKeys()
{
    QFETCH(QList<int>, keys);
    QFETCH(int, page);
    TestEnv env;
    PrintingReportOutput out;
    out.preview(pickupsJob(130));
    auto *w = qobject_cast<ReportPreview *>(out.previewWindow(QStringLiteral("DrpListofPickupsOnly")));
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    const int last = w->pageCount();
    for (int k : keys)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : w, Qt::Key(k));
    const int expected = page == 0 ? last : page;
    QCOMPARE(w->currentPage() + 1, expected);
    QCOMPARE(w->findChild<QSpinBox *>(QStringLiteral("spnPage"))->value(), expected);
    QCOMPARE(w->findChild<QAction *>(QStringLiteral("actNextPage"))->isEnabled(), expected < last);
    QCOMPARE(w->findChild<QAction *>(QStringLiteral("actPreviousPage"))->isEnabled(), expected > 1);
}

void TestReportPreview::zoom()
{
    TestEnv env;
    PrintingReportOutput out;
    out.preview(pickupsJob(10));
    auto *w = qobject_cast<ReportPreview *>(out.previewWindow(QStringLiteral("DrpListofPickupsOnly")));
    QVERIFY(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *view = w->findChild<PageView *>(QStringLiteral("pageView"));
    auto *combo = w->findChild<QComboBox *>(QStringLiteral("cboZoom"));
    QVERIFY(view && combo);

    const int index100 = combo->findText(QStringLiteral("100%"));
    QVERIFY(index100 >= 0);
    combo->setCurrentIndex(index100);
    emit combo->activated(index100);
    QCOMPARE(w->zoom(), 1.0);
    QCOMPARE(view->width(), qCeil(view->paperSize().width()) + 2 * PageView::kMargin);

    QTest::mouseClick(buttonFor(w, QStringLiteral("actZoomIn")), Qt::LeftButton);
    QCOMPARE(w->zoom(), 1.25);
    QCOMPARE(combo->currentText(), QStringLiteral("125%"));
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(w->zoom(), 0.75);
    const int whole = combo->findText(QStringLiteral("Whole Page"));
    combo->setCurrentIndex(whole);
    emit combo->activated(whole);
    auto *scroll = w->findChild<QScrollArea *>(QStringLiteral("scrollPage"));
    QVERIFY(view->height() <= scroll->viewport()->height());
    QVERIFY(view->width() <= scroll->viewport()->width());
}

void TestReportPreview::saveAsPdf_data()
{
    QTest::addColumn<bool>("chooseFile");
    QTest::newRow("file chosen") << true;
    QTest::newRow("cancelled") << false;
}

// "Save as PDF" writes every page to the chosen file.
void TestReportPreview::saveAsPdf()
{
    QFETCH(bool, chooseFile);
    TestEnv env;
    PrintingReportOutput out;
    const ReportJob job = pickupsJob(130);
    out.preview(job);
    QWidget *w = out.previewWindow(QStringLiteral("DrpListofPickupsOnly"));
    QVERIFY(w);
    const QString path = env.path(QStringLiteral("saved"));
    env.files.answers.enqueue(chooseFile ? std::optional<QString>(path) : std::nullopt);
    QTest::mouseClick(buttonFor(w, QStringLiteral("actSavePdf")), Qt::LeftButton);
    QVERIFY(env.files.answers.isEmpty());
    QVERIFY(env.messages.calls.isEmpty());
    QCOMPARE(QFile::exists(path + QStringLiteral(".pdf")), chooseFile);
    if (chooseFile)
        QCOMPARE(pdftools::pageCount(path + QStringLiteral(".pdf")), int(layoutJob(job).pages.size()));
}

void TestReportPreview::printWithoutPrinter_data()
{
    QTest::addColumn<bool>("fromPreview");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("chooseFile");
    QTest::newRow("print, yes, file") << false << int(QMessageBox::Yes) << true;
    QTest::newRow("print, yes, cancelled") << false << int(QMessageBox::Yes) << false;
    QTest::newRow("print, no") << false << int(QMessageBox::No) << false;
    QTest::newRow("preview Print, yes, file") << true << int(QMessageBox::Yes) << true;
    QTest::newRow("preview Print, no") << true << int(QMessageBox::No) << false;
}

// With no printer the user is told so and may save a PDF instead; nothing is
// printed into a file behind the user's back.
void TestReportPreview::printWithoutPrinter()
{
    QFETCH(bool, fromPreview);
    QFETCH(int, answer);
    QFETCH(bool, chooseFile);
    TestEnv env;
    PrintingReportOutput out;
    const ReportJob job{&DrpListofProjects(), reportrows::projects(140), QStringLiteral("Projects order by project"),
                        kDate};
    env.messages.answers.enqueue(QMessageBox::StandardButton(answer));
    const QString path = env.path(QStringLiteral("projects.pdf"));
    if (answer == QMessageBox::Yes)
        env.files.answers.enqueue(chooseFile ? std::optional<QString>(path) : std::nullopt);
    const QStringList before = QDir(env.folder()).entryList(QDir::Files);

    if (fromPreview) {
        out.preview(job);
        QWidget *w = out.previewWindow(QStringLiteral("DrpListofProjects"));
        QVERIFY(w);
        QTest::mouseClick(buttonFor(w, QStringLiteral("actPrint")), Qt::LeftButton);
    } else {
        out.print(job);
    }

    QCOMPARE(env.messages.calls.size(), 1);
    const RecordingMessages::Call &m = env.messages.calls.first();
    QVERIFY(m.text.contains(QStringLiteral("no printer")));
    QVERIFY(m.text.contains(QStringLiteral("PDF")));
    QCOMPARE(m.title, QStringLiteral("Quillbern"));
    QCOMPARE(m.buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(env.files.answers.isEmpty()); // the file chooser was asked only after "Yes"
    QStringList after = QDir(env.folder()).entryList(QDir::Files);
    if (answer == QMessageBox::Yes && chooseFile) {
        QVERIFY(QFile::exists(path));
        QCOMPARE(pdftools::pageCount(path), int(layoutJob(job).pages.size()));
        after.removeAll(QStringLiteral("projects.pdf"));
    }
    QCOMPARE(after, before);
}

// A second preview of the same report replaces the pages of the open window.
void TestReportPreview::newPreviewReplacesPages()
{
    TestEnv env;
    PrintingReportOutput out;
    out.preview(pickupsJob(130));
    auto *w = qobject_cast<ReportPreview *>(out.previewWindow(QStringLiteral("DrpListofPickupsOnly")));
    QVERIFY(w);
    w->lastPage();
    QVERIFY(w->currentPage() > 0);
    out.preview(pickupsJob(2));
    QCOMPARE(out.previewWindow(QStringLiteral("DrpListofPickupsOnly")), w);
    QCOMPARE(w->pageCount(), 1);
    QCOMPARE(w->currentPage(), 0);
    QCOMPARE(w->document().rowCount, 2);
    // Another report gets a window of its own; closing one forgets it.
    out.preview(ReportJob{&DrpListofPickups(), reportrows::pickups(3), QStringLiteral("All Pikups By date"), kDate});
    QWidget *other = out.previewWindow(QStringLiteral("DrpListofPickups"));
    QVERIFY(other && other != w);
    QPointer<QWidget> guard(w);
    w->close();
    QTRY_VERIFY(guard.isNull());
    QVERIFY(!out.previewWindow(QStringLiteral("DrpListofPickupsOnly")));
}

int main(int argc, char **argv)
{
    // No printer may be reachable: point the print system at a server that does not exist.
    qputenv("CUPS_SERVER", "/nonexistent/quillbern-test/cups.sock");
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    QApplication app(argc, argv);
    TestReportPreview tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_reportpreview.moc"
