// The layout pass: pages, bands on each page, line breaks, page numbers and the
// row count, checked without drawing a pixel.

#include "core/reports/layoutpass.h"
#include "core/reports/reportlayout.h"
#include "support/recordingreports.h"

#include <QFontMetricsF>
#include <QImage>
#include <QRegularExpression>
#include <QTest>
#include <cmath>

using namespace reports;

namespace {

constexpr qreal kEps = 0.01;
const QDate kDate(2026, 3, 7);

qreal pt(qreal points)
{
    return points * kRefPerPoint;
}

bool near(qreal a, qreal b, qreal eps = kEps)
{
    return std::abs(a - b) < eps;
}

QStringList words(const QString &s)
{
    return s.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

RowSet rowsFor(const ReportLayout &l, int n)
{
    if (l.name == QLatin1String("DrpListofProjects"))
        return reportrows::projects(n);
    return l.name == QLatin1String("DrpListofCompanies") ? reportrows::companies(n) : reportrows::pickups(n);
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
            if (const PlacedItem *it = b.kind == BandKind::Detail && b.row == row ? findItem(p, b, name) : nullptr)
                if (!it->lines.isEmpty())
                    lines << it->text();
    return lines.join(QLatin1Char('\n'));
}

// What must hold for every report, whatever its rows.
void checkInvariants(const ReportDocument &doc, int rows, const QString &title)
{
    QVERIFY(!doc.pages.isEmpty());
    QCOMPARE(doc.rowCount, rows);
    const QRectF body = doc.bodyRect;
    QVERIFY(doc.footerTop < body.bottom());
    QVERIFY(QRectF(QPointF(0, 0), doc.pageSize).contains(body));
    int reportHeaders = 0, reportFooters = 0;
    for (int i = 0; i < doc.pages.size(); ++i) {
        const ReportPage &page = doc.pages.at(i);
        QCOMPARE(page.number, i + 1);
        // The report header opens page 1, the page header every page (at the top after page 1), the page footer
        // closes each at its reserved place; one of each per page.
        const int k = i == 0 ? 1 : 0;
        QVERIFY(page.bands.size() >= 2 + k);
        if (i == 0)
            QCOMPARE(page.bands.at(0).kind, BandKind::ReportHeader);
        QCOMPARE(page.bands.at(0).rect.top(), body.top());
        QCOMPARE(page.bands.at(k).kind, BandKind::PageHeader);
        const PlacedBand &footer = page.bands.last();
        QCOMPARE(footer.kind, BandKind::PageFooter);
        QVERIFY(near(footer.rect.top(), doc.footerTop));
        QVERIFY(footer.rect.bottom() <= body.bottom() + kEps);
        int headers = 0, footers = 0;
        for (int b = 0; b < page.bands.size(); ++b) {
            const PlacedBand &band = page.bands.at(b);
            headers += band.kind == BandKind::PageHeader;
            footers += band.kind == BandKind::PageFooter;
            reportHeaders += band.kind == BandKind::ReportHeader;
            if (band.kind == BandKind::ReportFooter) {
                ++reportFooters;
                QCOMPARE(i, int(doc.pages.size()) - 1); // on the last page, after the last record
                QCOMPARE(page.bands.at(b + 1).kind, BandKind::PageFooter);
                QCOMPARE(findItem(page, band, QStringLiteral("lblTotal"))->text(), QStringLiteral("Registers Total:"));
                QCOMPARE(findItem(page, band, QStringLiteral("FunTotalRegistros"))->text(), QString::number(rows));
            }
            if (b + 1 < page.bands.size())
                QVERIFY2(band.rect.bottom() <= page.bands.at(b + 1).rect.top() + kEps, "bands overlap");
            if (band.kind != BandKind::PageFooter)
                QVERIFY2(band.rect.bottom() <= doc.footerTop + kEps,
                         qPrintable(QStringLiteral("page %1: a band crosses into the page footer").arg(page.number)));
            for (const PlacedItem &it : page.itemsOf(band)) {
                QVERIFY2(it.rect.top() >= band.rect.top() - kEps && it.rect.bottom() <= band.rect.bottom() + kEps,
                         qPrintable(it.name + QStringLiteral(" stands outside its band")));
                QVERIFY2(it.rect.left() >= body.left() - kEps && it.rect.right() <= body.right() + kEps,
                         qPrintable(it.name + QStringLiteral(" stands outside the margins")));
                for (const TextLine &line : it.lines)
                    QVERIFY2(line.width <= it.rect.width() + kEps, qPrintable(it.name + " is wider than its box"));
            }
        }
        QCOMPARE(headers, 1);
        QCOMPARE(footers, 1);
        // Page number in every footer; date and title in every header.
        QCOMPARE(findItem(page, footer, QStringLiteral("lblPage"))->text(), QString::number(page.number));
        const PlacedBand &header = page.bands.at(k);
        QCOMPARE(findItem(page, header, QStringLiteral("lblDate"))->text(), QStringLiteral("3/7/2026"));
        QCOMPARE(words(findItem(page, header, QStringLiteral("lblReportTitle"))->text()), words(title));
    }
    QCOMPARE(reportHeaders, 1);
    QCOMPARE(reportFooters, 1);
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
    QCOMPARE(expectPart, 0);
}

} // namespace

class TestReportLayout : public QObject
{
    Q_OBJECT

private slots:
    void rowCounts_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("empty"); // every value empty, one record without any column
        for (const ReportLayout *l : allLayouts())
            for (int n : {0, 1, 350, -5})
                QTest::addRow("%s %d%s", qPrintable(l->name), std::abs(n), n < 0 ? " empty values" : "")
                    << l->name << std::abs(n) << (n < 0);
    }

    void rowCounts()
    {
        QFETCH(QString, layout);
        QFETCH(int, rows);
        QFETCH(bool, empty);
        const QString title = QStringLiteral("Project: TOWER   Subcontractor: ACME");
        RowSet data = rowsFor(*layoutByName(layout), rows);
        if (empty) {
            for (QVariantList &r : data.rows)
                r = QVariantList(r.size());
            data.rows[2] = {};
        }
        const ReportDocument doc = layoutReport(*layoutByName(layout), data, title, kDate);
        checkInvariants(doc, rows, title);
        if (QTest::currentTestFailed())
            return;
        if (rows <= 1)
            QCOMPARE(doc.pages.size(), 1);
        QCOMPARE(doc.pages.size() >= 3, rows > 300);
        // Details are packed: a page is left only when the next record did not fit.
        const QList<Part> parts = detailParts(doc);
        for (int i = 1; i < parts.size(); ++i)
            if (parts[i].page != parts[i - 1].page)
                QVERIFY2(doc.footerTop - parts[i - 1].band->rect.bottom() < parts[i].band->rect.height() - kEps,
                         qPrintable(QStringLiteral("record %1 moved on although it fitted").arg(parts[i].row)));
        // Empty values print nothing.
        for (const ReportPage &page : doc.pages)
            for (const PlacedBand &b : page.bands)
                for (const PlacedItem &it : page.itemsOf(b))
                    if (empty && b.kind == BandKind::Detail && it.kind == ItemKind::Field)
                        QVERIFY2(it.lines.isEmpty(), qPrintable(it.name + " printed " + it.text()));
    }

    void exactlyOnePage_data()
    {
        QTest::addColumn<QString>("layout");
        for (const ReportLayout *l : allLayouts())
            QTest::newRow(qPrintable(l->name)) << l->name;
    }

    // As many records as page 1 holds, by the layout's own band heights: all on page
    // 1; one more and that one opens page 2 right under the page header.
    void exactlyOnePage()
    {
        QFETCH(QString, layout);
        const ReportLayout &l = *layoutByName(layout);
        const qreal footerTop = pt(kPageHeightPt - kMarginPt - l.pageFooter.height);
        const qreal firstDetail = pt(kMarginPt + l.reportHeader.height + l.pageHeader.height);
        const int capacity = int(std::floor((footerTop - firstDetail) / pt(l.detail.height) + 1e-9));
        QVERIFY(capacity >= 2);
        for (int n : {capacity, capacity + 1}) {
            const ReportDocument doc = layoutReport(l, rowsFor(l, n), QStringLiteral("Short title"), kDate);
            checkInvariants(doc, n, QStringLiteral("Short title"));
            if (QTest::currentTestFailed())
                return;
            const QList<Part> parts = detailParts(doc);
            if (n > capacity)
                QCOMPARE(doc.pages.size(), 2);
            QCOMPARE(parts.at(capacity - 1).page, 1);
            QVERIFY(near(parts.at(capacity - 1).band->rect.bottom(), firstDetail + capacity * pt(l.detail.height), 0.5));
            if (n > capacity)
                QVERIFY(near(parts.at(capacity).band->rect.top(), doc.pages.at(1).bands.at(0).rect.bottom()));
        }
    }

    void notes_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<int>("noteWords");
        for (const char *l : {"DrpListofPickups", "DrpListofPickupsOnly"})
            for (int n : {60, 200, 2500})
                QTest::addRow("%s, %d words", l, n) << QString::fromLatin1(l) << n;
    }

    // A long note breaks into filled lines within its box and makes its record taller by the
    // lines it adds; one taller than a page goes on over the next pages, split between its lines.
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
        QCOMPARE(parts[1].page, 1); // it starts right after the record before it
        QVERIFY(near(parts[1].band->rect.top(), parts[0].band->rect.bottom()));
        const ReportItem *src = nullptr;
        for (const ReportItem &it : l.detail.items)
            src = it.name == QLatin1String("txtnote") ? &it : src;
        QVERIFY(src);
        if (noteWords > 1000) {
            QVERIFY(parts.size() >= 5); // row 1 in three or more parts
            for (const Part &p : parts) {
                const ReportPage &page = doc.pages.at(p.page - 1);
                if (p.row == 1 && p.part > 0) // a continuation opens its page under the page header
                    QCOMPARE(page.bands.at(1).row, 1);
                if (p.continues) // it fills its page to the last line that fits
                    QVERIFY(doc.footerTop - p.band->rect.bottom() <
                            doc.fonts.at(findItem(page, *p.band, QStringLiteral("txtnote"))->font).lineSpacing);
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
            const QString next = note->lines[i].text.section(QLatin1Char(' '), 0, 0);
            QVERIFY2(fm.horizontalAdvance(note->lines[i - 1].text + QLatin1Char(' ') + next) > note->rect.width() - 1,
                     qPrintable(QStringLiteral("line %1 could have held \"%2\"").arg(i).arg(next)));
        }
        const qreal spacing = doc.fonts.at(note->font).lineSpacing;
        const qreal base = pt(l.detail.height);
        QVERIFY(near(parts[0].band->rect.height(), base) && near(parts[2].band->rect.height(), base));
        QVERIFY(near(note->lines.size() * spacing, note->rect.height())); // the box holds exactly its lines
        QVERIFY(near(parts[1].band->rect.height(), base + note->lines.size() * spacing - pt(src->rect.height())));
        QVERIFY(near(parts[2].band->rect.top(), parts[1].band->rect.bottom()));
    }

    // A title too long for one line wraps in every page header and pushes the rule
    // and column headings down; the date stays on the first line.
    void titleWraps()
    {
        const ReportLayout &l = DrpListofPickupsOnly();
        const QString title = QStringLiteral("Project: ") + reportrows::words(30) +
                              QStringLiteral("   Subcontractor: ") + reportrows::words(12, 5);
        const ReportDocument doc = layoutReport(l, reportrows::pickups(120), title, kDate);
        checkInvariants(doc, 120, title);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(doc.pages.size() >= 2);
        for (const ReportPage &page : doc.pages) {
            const PlacedBand &header = page.bands.at(page.number == 1 ? 1 : 0);
            const PlacedItem *t = findItem(page, header, QStringLiteral("lblReportTitle"));
            QVERIFY(t->lines.size() >= 2);
            const qreal extra = t->lines.size() * doc.fonts.at(t->font).lineSpacing - pt(12);
            QVERIFY(near(header.rect.height(), pt(l.pageHeader.height) + extra));
            for (const char *name : {"linHeader", "shpHeadings", "lblPickupDate", "lblNote"})
                QVERIFY2(findItem(page, header, name)->rect.top() >= t->rect.bottom() - kEps, name);
            QVERIFY(near(findItem(page, header, QStringLiteral("lblDate"))->rect.top(), t->rect.top()));
        }
    }

    void fieldText_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("printed");
        QTest::newRow("date") << "DrpListofPickups" << "pickupdate" << QVariant("2026-03-07") << "3/7/2026";
        QTest::newRow("date and time") << "DrpListofPickupsOnly" << "pickupdate" << QVariant("2026-11-30 14:05:00")
                                       << "11/30/2026 2:05:00 PM";
        QTest::newRow("date, companies") << "DrpListofCompanies" << "pickupdate" << QVariant("2025-12-24") << "12/24/2025";
        QTest::newRow("null date") << "DrpListofPickups" << "pickupdate" << QVariant() << "";
        QTest::newRow("active yes") << "DrpListofProjects" << "Active" << QVariant(-1) << "Yes";
        QTest::newRow("active no") << "DrpListofProjects" << "Active" << QVariant(0) << "No";
        QTest::newRow("active null") << "DrpListofProjects" << "Active" << QVariant() << "";
        QTest::newRow("active as text") << "DrpListofCompanies" << "active" << QVariant("-1") << "Yes";
        QTest::newRow("name, other case") << "DrpListofPickups" << "NAME" << QVariant("ACME & SONS") << "ACME & SONS";
        QTest::newRow("number") << "DrpListofCompanies" << "ZIPCODE" << QVariant(12345) << "12345";
        QTest::newRow("empty text") << "DrpListofCompanies" << "Email" << QVariant("") << "";
    }

    // What a field prints, reached by its column name in any case.
    void fieldText()
    {
        QFETCH(QString, layout);
        QFETCH(QString, column);
        QFETCH(QVariant, value);
        QFETCH(QString, printed);
        RowSet rows;
        rows.columns = {QStringLiteral("id"), column};
        rows.rows = {{1, value}};
        const ReportDocument doc = layoutReport(*layoutByName(layout), rows, QStringLiteral("T"), kDate);
        QString name;
        for (const ReportItem &it : layoutByName(layout)->detail.items)
            if (it.kind == ItemKind::Field && it.name.compare("txt" + column, Qt::CaseInsensitive) == 0)
                name = it.name;
        QVERIFY(!name.isEmpty());
        QCOMPARE(detailText(doc, 0, name), printed);
    }

    void titles_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("printed");
        QTest::addColumn<QString>("caption");
        QTest::newRow("projects, no title set") << "DrpListofProjects" << QString() << "List of Projects"
                                                << "List of Projects";
        QTest::newRow("projects, title set") << "DrpListofProjects" << "Projects list not active"
                                             << "Projects list not active" << "List of Projects";
        QTest::newRow("companies, one blank") << "DrpListofCompanies" << " " << "" << "List of Companies";
        QTest::newRow("pickups, no title set") << "DrpListofPickups" << QString() << "" << "List of Pickups";
        QTest::newRow("pickups only") << "DrpListofPickupsOnly" << "P" << "P" << "List of Pickups";
        // The blanks between the names print as the caller wrote them.
        QTest::newRow("main window's title") << "DrpListofPickupsOnly" << "Project: A B   Subcontractor: C  D"
                                             << "Project: A B   Subcontractor: C  D" << "List of Pickups";
    }

    // "%i" prints the caller's title; the projects report has one of its own. Layouts are
    // found by name in any case and carry the preview's caption.
    void titles()
    {
        QFETCH(QString, layout);
        QFETCH(QString, title);
        QFETCH(QString, printed);
        QFETCH(QString, caption);
        const ReportLayout *l = layoutByName(layout.toLower());
        QVERIFY(l);
        QCOMPARE(l->name, layout);
        QCOMPARE(l->caption, caption);
        const ReportDocument doc = layoutReport(*l, rowsFor(*l, 2), title, kDate);
        const ReportPage &page = doc.pages.first();
        const PlacedItem *t = findItem(page, page.bands.at(1), QStringLiteral("lblReportTitle"));
        QCOMPARE(t->text().trimmed(), printed);
        QVERIFY(t->lines.size() <= 1);
        QVERIFY(!layoutByName("DrpNothing"));
    }

    // A value too wide for a box that does not grow prints on one line, cut at the box.
    void boxesThatDoNotGrowCutTheirText()
    {
        const QString longPackage = QStringLiteral("PACKAGE ") + reportrows::words(40);
        RowSet rows = reportrows::pickups(1);
        rows.rows[0][rows.columnIndex("package")] = longPackage;
        const ReportDocument doc = layoutReport(DrpListofPickupsOnly(), rows, QStringLiteral("T"), kDate);
        const QString printed = detailText(doc, 0, QStringLiteral("txtpackage"));
        QVERIFY(!printed.isEmpty() && !printed.contains(QLatin1Char('\n')));
        QVERIFY(printed.size() < longPackage.size() && longPackage.startsWith(printed));
        QVERIFY(near(detailParts(doc).at(0).band->rect.height(), pt(DrpListofPickupsOnly().detail.height)));
    }

    // Sizes such as 8.25 points are kept, not rounded; line spacing is proportional to the size.
    void fontSizesKeepTheirFraction()
    {
        const ReportDocument doc = layoutReport(DrpListofPickups(), reportrows::pickups(1), QStringLiteral("T"), kDate);
        QMap<qreal, const ResolvedFont *> plain; // by size, neither bold nor italic
        QList<qreal> sizes;
        for (const ResolvedFont &f : doc.fonts) {
            QCOMPARE(f.font.pointSizeF(), f.def.pointSize);
            QCOMPARE(f.font.family(), QStringLiteral("Arial"));
            sizes << f.def.pointSize;
            if (!f.def.bold && !f.def.italic)
                plain[f.def.pointSize] = &f;
        }
        QVERIFY(sizes.contains(12.0));
        const ResolvedFont *regular = plain.value(8.25), *nine = plain.value(9);
        QVERIFY(regular && nine);
        QVERIFY(std::abs(nine->lineSpacing / regular->lineSpacing - 9 / 8.25) < 0.02);
        QVERIFY(regular->lineSpacing > 8.25 * kRefPerPoint && regular->lineSpacing < 8.25 * 1.3 * kRefPerPoint);
    }
};

QTEST_MAIN(TestReportLayout)
#include "tst_reportlayout.moc"
