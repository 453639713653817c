// The report engine: the layout pass and the PDF it paints, read back with poppler's tools.
#include "core/reports/reportpainter.h"
#include "support/recordingreports.h"

#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace reports;
using reportrows::num;

namespace {

constexpr qreal kEps = 0.01;
const QDate kDate(2026, 3, 7);

qreal pt(qreal points) { return points * kRefPerPoint; }
bool near(qreal a, qreal b, qreal eps = kEps) { return std::abs(a - b) < eps; }
QStringList words(const QString &s) { return s.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts); }
QString shortDate(const QDate &d) { return QStringLiteral("%1/%2/%3").arg(d.month()).arg(d.day()).arg(d.year()); }

// Rows for a layout; some pick-up notes wrap and some are empty.
RowSet rowsFor(const QString &layout, int n)
{
    if (layout == QLatin1String("DrpListofProjects"))
        return reportrows::projects(n);
    if (layout == QLatin1String("DrpListofCompanies"))
        return reportrows::companies(n);
    return reportrows::pickups(n, [](int i) { return i % 7 == 3 ? reportrows::words(45, i) : i % 5 == 4 ? QString() : "NOTE " + num(i); });
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
            "Email:", "mail" + num(i) + "@example.com", "Fax:", "555-1" + num(i), "Web Site:", "www.example" + num(i) + ".com",
            "Pickup Date:", shortDate(QDate(2026, 2, 1).addDays(i)), "Pickup By:", "PICKER " + num(i), "Package:", "PARCEL " + num(i),
            "Active:", i % 2 == 0 ? "Yes" : "No", "Note:", "REMARK " + num(i)};
}

// The first text not found after the one before; blanks are compared as one (pdftotext spaces columns its own way).
QString firstOutOfOrder(const QString &rawText, const QStringList &needles)
{
    const QString text = rawText.simplified();
    qsizetype pos = 0;
    for (const QString &raw : needles) {
        const QString n = raw.simplified();
        if (!n.isEmpty() && (pos = text.indexOf(n, pos)) < 0)
            return n;
        pos += n.size();
    }
    return {};
}

int occurrences(const QString &text, const QString &word)
{
    return int(text.count(QRegularExpression("(?<![\\w@.])" + QRegularExpression::escape(word) + "(?![\\w@])")));
}

const PlacedItem *findItem(const ReportPage &page, const PlacedBand &band, const QString &name)
{
    for (int i = band.firstItem; i < band.firstItem + band.itemCount; ++i)
        if (page.items.at(i).name == name)
            return &page.items.at(i);
    return nullptr;
}

// Detail parts in output order.
struct Part
{
    int page, row, part;
    bool continues;
    const PlacedBand *band;
};
QList<Part> detailParts(const ReportDocument &doc)
{
    QList<Part> out;
    for (const ReportPage &p : doc.pages)
        for (const PlacedBand &b : p.bands)
            if (b.kind == BandKind::Detail)
                out.append({p.number, b.row, b.part, b.continues, &b});
    return out;
}

// What one item of a record prints, over all its parts.
QString detailText(const ReportDocument &doc, int row, const QString &name)
{
    QStringList lines;
    for (const ReportPage &p : doc.pages)
        for (const PlacedBand &b : p.bands)
            if (const PlacedItem *it = b.kind == BandKind::Detail && b.row == row ? findItem(p, b, name) : nullptr; it && !it->lines.isEmpty())
                lines << it->text();
    return lines.join('\n');
}

// What must hold for every report, whatever its rows.
void checkInvariants(const ReportDocument &doc, int rows, const QString &title)
{
    QCOMPARE(doc.rowCount, rows);
    const QRectF body = doc.bodyRect;
    QVERIFY(doc.footerTop < body.bottom() && QRectF(QPointF(0, 0), doc.pageSize).contains(body));
    // A letter a band, pages apart: report header opening page 1, page header and footer on every page,
    // only a record going on over a page, from its page's end; the report footer after the last record.
    QStringList kinds;
    for (const ReportPage &page : doc.pages) {
        kinds << QString();
        for (const PlacedBand &b : page.bands)
            kinds.last() += b.continues ? 'C' : "RHDPF"[int(b.kind)];
    }
    QVERIFY2(QRegularExpression("^RH(D*C?P\\|H)*D*FP$").match(kinds.join('|')).hasMatch(), qPrintable(kinds.join('|')));
    for (int i = 0; i < doc.pages.size(); ++i) {
        const ReportPage &page = doc.pages.at(i);
        const PlacedBand &header = page.bands.at(i == 0 ? 1 : 0), &footer = page.bands.last();
        QCOMPARE(page.number, i + 1);
        QCOMPARE(page.bands.at(0).rect.top(), body.top());
        QVERIFY(near(footer.rect.top(), doc.footerTop) && footer.rect.bottom() <= body.bottom() + kEps);
        for (int b = 0; b < page.bands.size(); ++b) {
            const PlacedBand &band = page.bands.at(b);
            if (band.kind == BandKind::ReportFooter)
                QCOMPARE(findItem(page, band, "lblTotal")->text() + findItem(page, band, "FunTotalRegistros")->text(), "Registers Total:" + QString::number(rows));
            if (b + 1 < page.bands.size()) // one after the other, no gap but before the page footer
                QVERIFY2(page.bands.at(b + 1).kind == BandKind::PageFooter ? band.rect.bottom() <= footer.rect.top() + kEps
                                                                           : near(band.rect.bottom(), page.bands.at(b + 1).rect.top()),
                         qPrintable(QStringLiteral("page %1: band %2 and the next overlap or leave a gap").arg(page.number).arg(b)));
            for (const PlacedItem &it : page.itemsOf(band)) {
                QVERIFY2(it.rect.top() >= band.rect.top() - kEps && it.rect.bottom() <= band.rect.bottom() + kEps, qPrintable(it.name + " stands outside its band"));
                QVERIFY2(it.rect.left() >= body.left() - kEps && it.rect.right() <= body.right() + kEps, qPrintable(it.name + " stands outside the margins"));
                for (const TextLine &line : it.lines)
                    QVERIFY2(line.width <= it.rect.width() + kEps, qPrintable(it.name + " is wider than its box"));
            }
        }
        // Page number in every footer; date and title in every header.
        QCOMPARE(findItem(page, footer, QStringLiteral("lblPage"))->text(), QString::number(page.number));
        QCOMPARE(findItem(page, header, QStringLiteral("lblDate"))->text(), QStringLiteral("3/7/2026"));
        QCOMPARE(words(findItem(page, header, QStringLiteral("lblReportTitle"))->text()), words(title));
    }
    // Every record once, in order; a split record's parts on consecutive pages.
    int expectRow = 0, expectPart = 0, lastPage = 0;
    for (const Part &p : detailParts(doc)) {
        QCOMPARE(p.row, expectRow);
        QCOMPARE(p.part, expectPart);
        if (p.part > 0)
            QCOMPARE(p.page, lastPage + 1);
        lastPage = p.page;
        expectPart = p.continues ? expectPart + 1 : 0;
        expectRow += p.continues ? 0 : 1;
    }
    QCOMPARE(expectRow, rows);
}

// Every text of the layout comes back from the PDF, in order, on the right pages.
void checkPdf(const ReportDocument &doc, const QString &layout, const RowSet &data, const QString &path)
{
    Failure error;
    QVERIFY2(writePdf(doc, path, &error), qPrintable(error.description));
    const QString text = pdftools::text(path);
    QStringList pages = text.split('\f');
    if (pages.last().trimmed().isEmpty())
        pages.removeLast();
    QCOMPARE(pages.size(), doc.pages.size());
    const QStringList header = QStringList{doc.title, shortDate(kDate)} +
        (layout == "DrpListofPickupsOnly" ? QStringList{"Pickup Date", "Pickup By", "Package", "Note"}
         : layout == "DrpListofProjects"  ? QStringList{"Project Name", "Company", "Active"} : QStringList());
    int next = 0;
    for (int p = 0; p < pages.size(); ++p) {
        QStringList expected = p == 0 ? QStringList(doc.caption) + header : header;
        const int first = next;
        while (next < data.size() && pages[p].contains(recordTexts(layout, next, data).at(1)))
            expected << recordTexts(layout, next++, data);
        QVERIFY2(next > first, qPrintable(QStringLiteral("page %1 holds no record").arg(p + 1)));
        if (p == pages.size() - 1)
            expected << QStringLiteral("Registers Total:") << QString::number(data.size());
        const QString missing = firstOutOfOrder(pages[p], expected);
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("page %1: \"%2\" missing or out of order\n%3").arg(p + 1).arg(missing, pages[p])));
        QCOMPARE(pages[p].split('\n', Qt::SkipEmptyParts).last().trimmed(), QString::number(p + 1)); // the page number closes the page
    }
    QCOMPARE(next, data.size());
    QCOMPARE(QList<int>({occurrences(text, QStringLiteral("Registers Total:")), occurrences(text, doc.caption)}), QList<int>({1, 1}));
    for (int r = 0; r < data.size(); ++r) // each record once
        QCOMPARE(occurrences(text, recordTexts(layout, r, data).at(1)), 1);
}

} // namespace

class TestReportEngine : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY2(pdftools::available(), "pdftotext and pdfinfo (poppler-utils) are needed"); }

    void rowCounts_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("empty"); // every value empty, one record without any column
        for (const ReportLayout *l : allLayouts())
            for (int n : {0, 1, 140, -5})
                QTest::addRow("%s %d%s", qPrintable(l->name), std::abs(n), n < 0 ? " empty values" : "") << l->name << std::abs(n) << (n < 0);
    }

    // Details packed (a page left only when the next did not fit); empty values print nothing; many rows read back from the PDF.
    void rowCounts()
    {
        QFETCH(QString, layout);
        QFETCH(int, rows);
        QFETCH(bool, empty);
        const QString title = QStringLiteral("Project: TOWER   Subcontractor: ACME");
        RowSet data = rowsFor(layout, rows);
        if (empty) {
            for (QVariantList &r : data.rows)
                r = QVariantList(r.size());
            data.rows[2] = {};
        }
        const ReportDocument doc = layoutReport(*layoutByName(layout), data, title, kDate);
        checkInvariants(doc, rows, title);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(doc.pages.size() >= 3, rows > 100);
        QVERIFY(rows > 1 || doc.pages.size() == 1);
        const QList<Part> parts = detailParts(doc);
        for (int i = 1; i < parts.size(); ++i)
            if (parts[i].page != parts[i - 1].page)
                QVERIFY2(doc.footerTop - parts[i - 1].band->rect.bottom() < parts[i].band->rect.height() - kEps,
                         qPrintable(QStringLiteral("record %1 moved on although it fitted").arg(parts[i].row)));
        for (const Part &p : parts)
            for (const PlacedItem &it : doc.pages.at(p.page - 1).itemsOf(*p.band))
                QVERIFY2(!empty || it.kind != ItemKind::Field || it.lines.isEmpty(), qPrintable(it.name + " printed " + it.text()));
        if (rows > 100)
            checkPdf(doc, layout, data, m_dir.filePath(layout + ".pdf"));
    }

    void notes_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("noteWords");
        for (const char *l : {"DrpListofPickups", "DrpListofPickupsOnly"})
            for (int n : {60, 200, 2500})
                QTest::addRow("%s, %d words", l, n) << QString::fromLatin1(l) << n;
    }

    // A long note fills lines in its box, the record grows by them; one taller than a page splits between lines over pages.
    void notes()
    {
        QFETCH(QString, layout);
        QFETCH(int, noteWords);
        const ReportLayout &l = *layoutByName(layout);
        const QString longNote = reportrows::words(noteWords, 3);
        const RowSet rows = reportrows::pickups(3, [&](int i) { return i == 1 ? longNote : QStringLiteral("SHORT"); });
        const ReportDocument doc = layoutReport(l, rows, QStringLiteral("T"), kDate);
        checkInvariants(doc, 3, QStringLiteral("T"));
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(words(detailText(doc, 1, QStringLiteral("txtnote"))), words(longNote));
        QCOMPARE(detailText(doc, 1, QStringLiteral("txtpickupby")), QStringLiteral("PICKUP BY 002")); // printed once
        const QList<Part> parts = detailParts(doc);
        QCOMPARE(parts[1].page, 1); // it starts on the page of the record before it
        const auto src = std::find_if(l.detail.items.begin(), l.detail.items.end(), [](const ReportItem &it) { return it.name == "txtnote"; });
        QVERIFY(src != l.detail.items.end());
        if (noteWords > 1000) {
            QVERIFY(parts.size() >= 5); // row 1 in three or more parts
            for (const Part &p : parts) {
                const ReportPage &page = doc.pages.at(p.page - 1);
                if (p.row == 1 && p.part > 0) // a continuation opens its page under the page header
                    QCOMPARE(page.bands.at(1).row, 1);
                if (p.continues) // it fills its page to the last line that fits
                    QVERIFY(doc.footerTop - p.band->rect.bottom() < doc.fonts.at(findItem(page, *p.band, QStringLiteral("txtnote"))->font).lineSpacing);
            }
            return;
        }
        QCOMPARE(parts.size(), 3);
        const PlacedItem *note = findItem(doc.pages.first(), *parts[1].band, QStringLiteral("txtnote"));
        QVERIFY(note && note->lines.size() >= 3);
        // Filled lines: the first word of each line would not have fitted on the line before.
        QImage device(1, 1, QImage::Format_RGB32);
        device.setDotsPerMeterX(qRound(kReferenceDpi / 0.0254));
        device.setDotsPerMeterY(qRound(kReferenceDpi / 0.0254));
        const QFontMetricsF fm(referenceFont(src->font), &device);
        for (int i = 1; i < note->lines.size(); ++i) {
            const QString next = note->lines[i].text.section(' ', 0, 0);
            QVERIFY2(fm.horizontalAdvance(note->lines[i - 1].text + ' ' + next) > note->rect.width() - 1,
                     qPrintable(QStringLiteral("line %1 could have held \"%2\"").arg(i).arg(next)));
        }
        const qreal spacing = doc.fonts.at(note->font).lineSpacing, base = pt(l.detail.height);
        QVERIFY(near(parts[0].band->rect.height(), base) && near(parts[2].band->rect.height(), base));
        QVERIFY(near(note->lines.size() * spacing, note->rect.height())); // the box holds exactly its lines
        QVERIFY(near(parts[1].band->rect.height(), base + note->lines.size() * spacing - pt(src->rect.height())));
        // The PDF holds the note whole and in order, across its lines.
        const QString path = m_dir.filePath(QStringLiteral("note.pdf"));
        Failure error;
        QVERIFY2(writePdf(doc, path, &error), qPrintable(error.description));
        const QString missing = firstOutOfOrder(pdftools::text(path), longNote.split(' ') << QStringLiteral("PICKUP BY 003"));
        QVERIFY2(missing.isEmpty(), qPrintable(missing + " missing or out of order"));
    }

    // A long title wraps in every page header and pushes rule and headings down; the date stays on its first line.
    void titleWraps()
    {
        const ReportLayout &l = DrpListofPickupsOnly();
        const QString title = "Project: " + reportrows::words(30) + "   Subcontractor: " + reportrows::words(12, 5);
        const ReportDocument doc = layoutReport(l, reportrows::pickups(120), title, kDate);
        checkInvariants(doc, 120, title);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(doc.pages.size() >= 2);
        for (const ReportPage &page : doc.pages) {
            const PlacedBand &header = page.bands.at(page.number == 1 ? 1 : 0);
            const PlacedItem *t = findItem(page, header, QStringLiteral("lblReportTitle"));
            QVERIFY(t->lines.size() >= 2);
            QVERIFY(near(header.rect.height(), pt(l.pageHeader.height) + t->lines.size() * doc.fonts.at(t->font).lineSpacing - pt(12)));
            for (const char *name : {"linHeader", "shpHeadings", "lblPickupDate", "lblNote"})
                QVERIFY2(findItem(page, header, name)->rect.top() >= t->rect.bottom() - kEps, name);
            QVERIFY(near(findItem(page, header, QStringLiteral("lblDate"))->rect.top(), t->rect.top()));
        }
    }

    void printedText_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("titlePrinted");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("printed");
        const QString mains = QStringLiteral("Project: A B   Subcontractor: C  D"); // the main window's, its blanks kept
        QTest::newRow("projects, no title set; active null") << "DrpListofProjects" << QString() << "List of Projects" << "Active" << QVariant() << "";
        QTest::newRow("companies, one blank; active as text") << "DrpListofCompanies" << " " << "" << "active" << QVariant("-1") << "Yes";
        QTest::newRow("companies, a number") << "DrpListofCompanies" << mains << mains << "ZIPCODE" << QVariant(12345) << "12345";
        QTest::newRow("companies, a line break on one line") << "DrpListofCompanies" << "" << "" << "name" << QVariant("A\nB") << "A B";
        QTest::newRow("pickups, no title set; null date") << "DrpListofPickups" << QString() << "" << "pickupdate" << QVariant() << "";
    }

    // "%i" prints the caller's title; the projects report has its own; layouts are found by name in any case.
    // What a field prints, by column name in any case (plain dates and yes/no are read back from the PDF above).
    void printedText()
    {
        QFETCH(QString, layout);
        QFETCH(QString, title);
        QFETCH(QString, titlePrinted);
        QFETCH(QString, column);
        QFETCH(QVariant, value);
        QFETCH(QString, printed);
        const ReportLayout *l = layoutByName(layout.toLower());
        QVERIFY(l && l->name == layout && !layoutByName("DrpNothing"));
        const ReportDocument doc = layoutReport(*l, RowSet{{QStringLiteral("id"), column}, {{1, value}}}, title, kDate);
        const PlacedItem *t = findItem(doc.pages.first(), doc.pages.first().bands.at(1), QStringLiteral("lblReportTitle"));
        QCOMPARE(t->text().trimmed(), titlePrinted);
        QVERIFY(t->lines.size() <= 1);
        const auto field = std::find_if(l->detail.items.begin(), l->detail.items.end(), [&](const ReportItem &it) {
            return it.kind == ItemKind::Field && it.name.compare("txt" + column, Qt::CaseInsensitive) == 0;
        });
        QVERIFY(field != l->detail.items.end());
        QCOMPARE(detailText(doc, 0, field->name), printed);
    }

    // Too wide for a fixed box: one line, cut at the box; 8.25 points keep their fraction, line spacing follows size.
    void boxesAndFonts()
    {
        const QString longPackage = QStringLiteral("PACKAGE ") + reportrows::words(40);
        RowSet rows = reportrows::pickups(1);
        rows.rows[0][rows.columnIndex("package")] = longPackage;
        ReportDocument doc = layoutReport(DrpListofPickupsOnly(), rows, QStringLiteral("T"), kDate);
        const QString printed = detailText(doc, 0, QStringLiteral("txtpackage"));
        QVERIFY(!printed.isEmpty() && !printed.contains('\n') && printed.size() < longPackage.size() && longPackage.startsWith(printed));
        QVERIFY(near(detailParts(doc).at(0).band->rect.height(), pt(DrpListofPickupsOnly().detail.height)));
        doc = layoutReport(DrpListofPickups(), reportrows::pickups(1), QStringLiteral("T"), kDate);
        QMap<qreal, const ResolvedFont *> plain; // by size, neither bold nor italic
        for (const ResolvedFont &f : doc.fonts) {
            QCOMPARE(f.font.pointSizeF(), f.def.pointSize);
            if (!f.def.bold && !f.def.italic)
                plain[f.def.pointSize] = &f;
        }
        const ResolvedFont *regular = plain.value(8.25), *nine = plain.value(9);
        QVERIFY(regular && nine);
        QVERIFY(std::abs(nine->lineSpacing / regular->lineSpacing - 9 / 8.25) < 0.02);
        QVERIFY(regular->lineSpacing > 8.25 * kRefPerPoint && regular->lineSpacing < 8.25 * 1.3 * kRefPerPoint);
    }

    // No device or an unwritable file is reported; a page past either end draws nothing.
    void paintingWhereItCannot()
    {
        const ReportJob job{&DrpListofProjects(), reportrows::projects(3), QString(), kDate};
        Failure error;
        QPdfWriter writer(QStringLiteral("/nonexistent-folder/sub/report.pdf"));
        QVERIFY(!paintDocument(layoutJob(job), &writer, &error) && !error.description.isEmpty());
        QVERIFY(!paintDocument(layoutJob(job), nullptr, &error));
        const QString path = m_dir.filePath(QStringLiteral("missing/report.pdf"));
        QVERIFY(!writePdf(job, path, &error));
        QVERIFY(error.description.contains(QStringLiteral("report.pdf")) && !QFile::exists(path));
        // A page asked for past either end draws nothing (the preview may ask while paging).
        const ReportDocument doc = layoutJob(job);
        for (const int index : {-1, int(doc.pages.size()), 0}) {
            QImage page(200, 260, QImage::Format_RGB32);
            page.fill(Qt::white);
            QPainter painter(&page);
            drawPage(painter, doc, index, 0.02);
            painter.end();
            const bool blank = page == [&] { QImage w(page.size(), page.format()); w.fill(Qt::white); return w; }();
            QCOMPARE(blank, index != 0);
        }
    }
};

QTEST_MAIN(TestReportEngine)
#include "tst_reportengine.moc"
