// The painter and PDF output: each layout written to a PDF file and read back
// with poppler's pdftotext and pdfinfo.

#include "reports/layoutpass.h"
#include "reports/reportlayout.h"
#include "reports/reportoutput.h"
#include "reports/reportpainter.h"
#include "support/recordingreports.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

using namespace reports;

namespace {

const QDate kDate(2026, 3, 7);

QString num(int i)
{
    return QStringLiteral("%1").arg(i + 1, 3, 10, QLatin1Char('0'));
}

QString shortDate(const QDate &d)
{
    return QStringLiteral("%1/%2/%3").arg(d.month()).arg(d.day()).arg(d.year());
}

// The texts one record prints, left to right and top to bottom.
QStringList recordTexts(const QString &layout, int i, const RowSet &rows)
{
    if (layout == QLatin1String("DrpListofPickups"))
        return {"Subcontractor", "SUBCONTRACTOR " + num(i), "Pickup Date:", shortDate(QDate(2026, 1, 1).addDays(i)),
                "Pickup By:", "PICKUP BY " + num(i), "Package:", "PACKAGE " + num(i), "Note:",
                rows.value(i, "note").toString().section(' ', 0, 0)};
    if (layout == QLatin1String("DrpListofPickupsOnly"))
        return {shortDate(QDate(2026, 1, 1).addDays(i)), "PICKUP BY " + num(i), "PACKAGE " + num(i),
                rows.value(i, "note").toString().section(' ', 0, 0)};
    if (layout == QLatin1String("DrpListofProjects"))
        return {"PROJECT " + num(i), "COMPANY " + num(i), i % 2 == 0 ? "Yes" : "No"};
    return {"Name:", "COMPANY " + num(i), "Address:", QString::number(i + 1) + " MAIN STREET", "/", "SUITE " + num(i),
            "City:", "CITY " + num(i), "State:", "ST", "Zip Code:", "0" + num(i), "Phone:", "555-0" + num(i),
            "Email:", "mail" + num(i) + "@example.com", "Fax:", "555-1" + num(i), "Web Site:",
            "www.example" + num(i) + ".com", "Pickup Date:", shortDate(QDate(2026, 2, 1).addDays(i)),
            "Pickup By:", "PICKER " + num(i), "Package:", "PARCEL " + num(i), "Active:", i % 2 == 0 ? "Yes" : "No",
            "Note:", "REMARK " + num(i)};
}

// The texts of each page header, in order.
QStringList headerTexts(const QString &layout, const QString &title)
{
    QStringList t = {title, shortDate(kDate)};
    if (layout == QLatin1String("DrpListofPickupsOnly"))
        t << "Pickup Date" << "Pickup By" << "Package" << "Note";
    if (layout == QLatin1String("DrpListofProjects"))
        t << "Project Name" << "Company" << "Active";
    return t;
}

// Finds each text after the one before; returns the first that is missing or out of order.
// Runs of blanks count as one: pdftotext lays columns out with its own spacing.
QString firstOutOfOrder(const QString &rawText, const QStringList &needles, qsizetype *pos)
{
    const QString text = rawText.simplified();
    for (const QString &raw : needles) {
        const QString n = raw.simplified();
        const qsizetype at = text.indexOf(n, *pos);
        if (at < 0)
            return n;
        *pos = at + n.size();
    }
    return {};
}

int occurrences(const QString &text, const QString &word)
{
    const QRegularExpression re(QStringLiteral("(?<![\\w@.])") + QRegularExpression::escape(word) +
                                QStringLiteral("(?![\\w@])"));
    return int(text.count(re));
}

void keepForLooking(const QString &path, const QString &name)
{
    const QString dir = qEnvironmentVariable("QB_REPORT_OUTPUT");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QFile::remove(QDir(dir).filePath(name));
    QFile::copy(path, QDir(dir).filePath(name));
}

} // namespace

class TestReportPdf : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
    void wrappedNoteReadsBack();
    void paintingChecksThatTheDeviceOpens();
    void unwritableFileIsReported();
    void recordingOutputWritesEachJob();
};

void TestReportPdf::initTestCase()
{
    QVERIFY2(pdftools::available(), "pdftotext and pdfinfo (poppler-utils) are needed");
}

void TestReportPdf::roundTrip_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("reportHeader");
    QTest::newRow("DrpListofPickups") << "DrpListofPickups" << 40 << "All Pikups By date" << "List of Pickups";
    QTest::newRow("DrpListofPickupsOnly") << "DrpListofPickupsOnly" << 130
                                          << "Project: TOWER ONE   Subcontractor: ACME STEEL" << "List of Pickups";
    QTest::newRow("DrpListofProjects") << "DrpListofProjects" << 140 << "Projects order by project"
                                       << "List of Projects";
    QTest::newRow("DrpListofCompanies") << "DrpListofCompanies" << 14 << " " << "List of Companies";
}

// Every text of the layout comes back from the PDF, in order, on the right pages.
void TestReportPdf::roundTrip()
{
    QFETCH(QString, layout);
    QFETCH(int, rows);
    QFETCH(QString, title);
    QFETCH(QString, reportHeader);
    const ReportLayout *l = layoutByName(layout);
    QVERIFY(l);
    RowSet data;
    if (layout.startsWith(QLatin1String("DrpListofPickups")))
        data = reportrows::pickups(rows, [](int i) {
            // Some notes wrap, some are empty.
            return i % 7 == 3 ? reportrows::words(45, i) : i % 5 == 4 ? QString() : QStringLiteral("NOTE ") + num(i);
        });
    else if (layout == QLatin1String("DrpListofProjects"))
        data = reportrows::projects(rows);
    else
        data = reportrows::companies(rows);

    QTemporaryDir dir;
    const QString path = dir.filePath(layout + QStringLiteral(".pdf"));
    QString error;
    QVERIFY2(writePdf(ReportJob{l, data, title, kDate}, path, &error), qPrintable(error));
    keepForLooking(path, layout + QStringLiteral(".pdf"));

    const ReportDocument doc = layoutReport(*l, data, title, kDate);
    QVERIFY(doc.pages.size() >= 3);
    QCOMPARE(pdftools::pageCount(path), int(doc.pages.size()));

    const QString text = pdftools::text(path);
    QVERIFY(!text.isEmpty());
    QStringList pages = text.split(QLatin1Char('\f'));
    if (pages.last().trimmed().isEmpty())
        pages.removeLast();
    QCOMPARE(pages.size(), int(doc.pages.size()));

    const QStringList header = headerTexts(layout, title.trimmed().isEmpty() ? QString() : title);
    int nextRecord = 0;
    for (int p = 0; p < pages.size(); ++p) {
        const QString &page = pages.at(p);
        qsizetype pos = 0;
        QStringList expected;
        if (p == 0)
            expected << reportHeader;
        expected << header;
        // Records in order, from where the last page stopped.
        int first = nextRecord;
        while (nextRecord < rows && page.contains(recordTexts(layout, nextRecord, data).at(1)))
            ++nextRecord;
        QVERIFY2(nextRecord > first, qPrintable(QStringLiteral("page %1 holds no record").arg(p + 1)));
        for (int r = first; r < nextRecord; ++r)
            expected << recordTexts(layout, r, data);
        if (p == pages.size() - 1)
            expected << QStringLiteral("Registers Total:") << QString::number(rows);
        expected.removeAll(QString());
        const QString missing = firstOutOfOrder(page, expected, &pos);
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("page %1: \"%2\" missing or out of order\n%3")
                                                   .arg(p + 1)
                                                   .arg(missing, page)));
        // The page number closes the page.
        const QStringList lines = page.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines.last().trimmed(), QString::number(p + 1));
    }
    QCOMPARE(nextRecord, rows);
    QCOMPARE(occurrences(text, QStringLiteral("Registers Total:")), 1);
    QCOMPARE(occurrences(text, reportHeader), 1);
    // Each record once.
    for (int r = 0; r < rows; ++r)
        QCOMPARE(occurrences(text, recordTexts(layout, r, data).at(1)), 1);
}

// A note that wraps comes back whole and in order, across lines.
void TestReportPdf::wrappedNoteReadsBack()
{
    const QString note = reportrows::words(120, 2);
    const RowSet data = reportrows::pickups(2, [&](int i) { return i == 0 ? note : QStringLiteral("LAST"); });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("note.pdf"));
    QString error;
    QVERIFY2(writePdf(ReportJob{&DrpListofPickupsOnly(), data, QStringLiteral("T"), kDate}, path, &error),
             qPrintable(error));
    const QString text = pdftools::text(path);
    qsizetype pos = 0;
    const QString missing =
        firstOutOfOrder(text, note.split(QLatin1Char(' ')) << QStringLiteral("PICKUP BY 002") << "LAST", &pos);
    QVERIFY2(missing.isEmpty(), qPrintable(missing + " missing or out of order\n" + text));
}

void TestReportPdf::paintingChecksThatTheDeviceOpens()
{
    const ReportDocument doc = layoutReport(DrpListofProjects(), reportrows::projects(3), QString(), kDate);
    QPdfWriter writer(QStringLiteral("/nonexistent-folder/sub/report.pdf"));
    QString error;
    QVERIFY(!paintDocument(doc, &writer, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!paintDocument(doc, nullptr, &error));
}

void TestReportPdf::unwritableFileIsReported()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/report.pdf"));
    QString error;
    QVERIFY(!writePdf(ReportJob{&DrpListofProjects(), reportrows::projects(3), QString(), kDate}, path, &error));
    QVERIFY(error.contains(QStringLiteral("report.pdf")));
    QVERIFY(!QFile::exists(path));
}

// The test double records each job and leaves a PDF of it behind.
void TestReportPdf::recordingOutputWritesEachJob()
{
    TestEnv env;
    RecordingReports out(env.folder());
    ReportOutput &service = out;
    service.preview(ReportJob{&DrpListofPickupsOnly(), reportrows::pickups(120), QStringLiteral("Project: A"), kDate});
    service.print(ReportJob{&DrpListofProjects(), reportrows::projects(2), QString(), kDate});
    QCOMPARE(out.calls.size(), 2);
    QCOMPARE(out.calls[0].kind, RecordingReports::Kind::Preview);
    QCOMPARE(out.calls[0].layoutName, QStringLiteral("DrpListofPickupsOnly"));
    QCOMPARE(out.calls[0].title, QStringLiteral("Project: A"));
    QCOMPARE(out.calls[0].rows.size(), 120);
    QCOMPARE(out.calls[1].kind, RecordingReports::Kind::Print);
    QCOMPARE(out.calls[1].layoutName, QStringLiteral("DrpListofProjects"));
    QVERIFY(out.calls[1].title.isNull());
    for (const RecordingReports::Call &c : out.calls) {
        QVERIFY(QFile::exists(c.pdfPath));
        QCOMPARE(pdftools::pageCount(c.pdfPath), c.pages);
    }
    QVERIFY(out.calls[0].pages >= 2);
    QCOMPARE(out.calls[1].pages, 1);
    QVERIFY(pdftools::text(out.calls[1].pdfPath).contains(QStringLiteral("List of Projects")));
}

QTEST_MAIN(TestReportPdf)
#include "tst_reportpdf.moc"
