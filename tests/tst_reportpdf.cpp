// The painter and PDF output: each layout written to a PDF file and read back
// with poppler's pdftotext and pdfinfo.

#include "core/reports/layoutpass.h"
#include "core/reports/reportlayout.h"
#include "ui/reports/reportoutput.h"
#include "core/reports/reportpainter.h"
#include "support/recordingreports.h"

#include <QDir>
#include <QFile>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

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

// The texts one record prints, left to right and top to bottom; the second names the record.
QStringList recordTexts(const QString &layout, int i, const RowSet &rows)
{
    const QString note = rows.value(i, "note").toString().section(' ', 0, 0);
    if (layout == QLatin1String("DrpListofPickups"))
        return {"Subcontractor", "SUBCONTRACTOR " + num(i), "Pickup Date:", shortDate(QDate(2026, 1, 1).addDays(i)),
                "Pickup By:", "PICKUP BY " + num(i), "Package:", "PACKAGE " + num(i), "Note:", note};
    if (layout == QLatin1String("DrpListofPickupsOnly"))
        return {shortDate(QDate(2026, 1, 1).addDays(i)), "PICKUP BY " + num(i), "PACKAGE " + num(i), note};
    if (layout == QLatin1String("DrpListofProjects"))
        return {"PROJECT " + num(i), "COMPANY " + num(i), i % 2 == 0 ? "Yes" : "No"};
    return {"Name:", "COMPANY " + num(i), "Address:", QString::number(i + 1) + " MAIN STREET", "/", "SUITE " + num(i),
            "City:", "CITY " + num(i), "State:", "ST", "Zip Code:", "0" + num(i), "Phone:", "555-0" + num(i),
            "Email:", "mail" + num(i) + "@example.com", "Fax:", "555-1" + num(i), "Web Site:",
            "www.example" + num(i) + ".com", "Pickup Date:", shortDate(QDate(2026, 2, 1).addDays(i)),
            "Pickup By:", "PICKER " + num(i), "Package:", "PARCEL " + num(i), "Active:", i % 2 == 0 ? "Yes" : "No",
            "Note:", "REMARK " + num(i)};
}

// Finds each text after the one before; returns the first that is missing or out of order.
// Runs of blanks count as one: pdftotext lays columns out with its own spacing.
QString firstOutOfOrder(const QString &rawText, const QStringList &needles)
{
    const QString text = rawText.simplified();
    qsizetype pos = 0;
    for (const QString &raw : needles) {
        const QString n = raw.simplified();
        if (n.isEmpty())
            continue;
        pos = text.indexOf(n, pos);
        if (pos < 0)
            return n;
        pos += n.size();
    }
    return {};
}

int occurrences(const QString &text, const QString &word)
{
    return int(text.count(QRegularExpression("(?<![\\w@.])" + QRegularExpression::escape(word) + "(?![\\w@])")));
}

} // namespace

class TestReportPdf : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY2(pdftools::available(), "pdftotext and pdfinfo (poppler-utils) are needed"); }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("header"); // the texts of each page header, in order
        QTest::newRow("DrpListofPickups") << "DrpListofPickups" << 40 << "All Pikups By date" << QStringList();
        QTest::newRow("DrpListofPickupsOnly") << "DrpListofPickupsOnly" << 130
                                              << "Project: TOWER ONE   Subcontractor: ACME STEEL"
                                              << QStringList({"Pickup Date", "Pickup By", "Package", "Note"});
        QTest::newRow("DrpListofProjects") << "DrpListofProjects" << 140 << "Projects order by project"
                                           << QStringList({"Project Name", "Company", "Active"});
        QTest::newRow("DrpListofCompanies") << "DrpListofCompanies" << 14 << " " << QStringList();
    }

    // Every text of the layout comes back from the PDF, in order, on the right pages.
    void roundTrip()
    {
        QFETCH(QString, layout);
        QFETCH(int, rows);
        QFETCH(QString, title);
        QFETCH(QStringList, header);
        const ReportLayout *l = layoutByName(layout);
        RowSet data = layout == QLatin1String("DrpListofProjects")    ? reportrows::projects(rows)
                      : layout == QLatin1String("DrpListofCompanies") ? reportrows::companies(rows)
                                                                      : reportrows::pickups(rows, [](int i) {
                                                                            // Some notes wrap, some are empty.
                                                                            return i % 7 == 3 ? reportrows::words(45, i)
                                                                                   : i % 5 == 4 ? QString()
                                                                                                : "NOTE " + num(i);
                                                                        });
        const QString path = m_dir.filePath(layout + QStringLiteral(".pdf"));
        Failure why;
        QVERIFY2(writePdf(ReportJob{l, data, title, kDate}, path, &why), qPrintable(why.description));
        if (const QString keep = qEnvironmentVariable("QB_REPORT_OUTPUT"); !keep.isEmpty()) { // for looking at
            QDir().mkpath(keep);
            QFile::remove(QDir(keep).filePath(layout + ".pdf"));
            QFile::copy(path, QDir(keep).filePath(layout + ".pdf"));
        }
        const int pageCount = int(layoutReport(*l, data, title, kDate).pages.size());
        QVERIFY(pageCount >= 3);
        QCOMPARE(pdftools::pageCount(path), pageCount);
        const QString text = pdftools::text(path);
        QStringList pages = text.split(QLatin1Char('\f'));
        if (pages.last().trimmed().isEmpty())
            pages.removeLast();
        QCOMPARE(pages.size(), pageCount);

        header.prepend(shortDate(kDate));
        header.prepend(title);
        int nextRecord = 0;
        for (int p = 0; p < pages.size(); ++p) {
            const QString &page = pages.at(p);
            QStringList expected = p == 0 ? QStringList(l->caption) + header : header;
            // Records in order, from where the last page stopped.
            const int first = nextRecord;
            while (nextRecord < rows && page.contains(recordTexts(layout, nextRecord, data).at(1)))
                expected << recordTexts(layout, nextRecord++, data);
            QVERIFY2(nextRecord > first, qPrintable(QStringLiteral("page %1 holds no record").arg(p + 1)));
            if (p == pages.size() - 1)
                expected << QStringLiteral("Registers Total:") << QString::number(rows);
            expected << QString::number(p + 1); // the page number closes the page
            const QString missing = firstOutOfOrder(page, expected);
            QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("page %1: \"%2\" missing or out of order\n%3")
                                                       .arg(p + 1)
                                                       .arg(missing, page)));
            QCOMPARE(page.split(QLatin1Char('\n'), Qt::SkipEmptyParts).last().trimmed(), QString::number(p + 1));
        }
        QCOMPARE(nextRecord, rows);
        QCOMPARE(occurrences(text, QStringLiteral("Registers Total:")), 1);
        QCOMPARE(occurrences(text, l->caption), 1);
        for (int r = 0; r < rows; ++r) // each record once
            QCOMPARE(occurrences(text, recordTexts(layout, r, data).at(1)), 1);
    }

    // A note that wraps comes back whole and in order, across lines.
    void wrappedNoteReadsBack()
    {
        const QString note = reportrows::words(120, 2);
        const RowSet data = reportrows::pickups(2, [&](int i) { return i == 0 ? note : QStringLiteral("LAST"); });
        const QString path = m_dir.filePath(QStringLiteral("note.pdf"));
        Failure why;
        QVERIFY2(writePdf(ReportJob{&DrpListofPickupsOnly(), data, "T", kDate}, path, &why), qPrintable(why.description));
        const QString text = pdftools::text(path);
        const QString missing = firstOutOfOrder(text, note.split(' ') << QStringLiteral("PICKUP BY 002") << "LAST");
        QVERIFY2(missing.isEmpty(), qPrintable(missing + " missing or out of order\n" + text));
    }

    void unwritableOutputIsReported()
    {
        const ReportJob job{&DrpListofProjects(), reportrows::projects(3), QString(), kDate};
        Failure why;
        QPdfWriter writer(QStringLiteral("/nonexistent-folder/sub/report.pdf"));
        QVERIFY(!paintDocument(layoutJob(job), &writer, &why));
        QVERIFY(!why.description.isEmpty());
        QVERIFY(!paintDocument(layoutJob(job), nullptr, &why));
        const QString path = m_dir.filePath(QStringLiteral("missing/report.pdf"));
        QVERIFY(!writePdf(job, path, &why));
        QVERIFY(why.description.contains(QStringLiteral("report.pdf")));
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_MAIN(TestReportPdf)
#include "tst_reportpdf.moc"
