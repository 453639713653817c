// The layout pass: pages, bands on each page, line breaks, page numbers and the
// row count, checked without drawing a pixel.

#include "reports/layoutpass.h"
#include "reports/reportlayout.h"
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

const ReportLayout &layoutNamed(const QString &name)
{
    const ReportLayout *l = layoutByName(name);
    Q_ASSERT(l);
    return *l;
}

RowSet rowsFor(const ReportLayout &l, int n)
{
    if (l.name == QLatin1String("DrpListofProjects"))
        return reportrows::projects(n);
    if (l.name == QLatin1String("DrpListofCompanies"))
        return reportrows::companies(n);
    return reportrows::pickups(n);
}

const PlacedItem *findItem(const ReportPage &page, const PlacedBand &band, const QString &name)
{
    for (int i = band.firstItem; i < band.firstItem + band.itemCount; ++i)
        if (page.items.at(i).name == name)
            return &page.items.at(i);
    return nullptr;
}

QList<const PlacedBand *> bandsOf(const ReportDocument &doc, BandKind kind, int *pageOfFirst = nullptr)
{
    QList<const PlacedBand *> out;
    for (const ReportPage &p : doc.pages)
        for (const PlacedBand &b : p.bands)
            if (b.kind == kind) {
                if (out.isEmpty() && pageOfFirst)
                    *pageOfFirst = p.number;
                out << &b;
            }
    return out;
}

// Detail parts in output order: (page number, row, part, continues).
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

qreal pt(qreal points)
{
    return points * kRefPerPoint;
}

// What must hold for every report, whatever its rows.
void checkInvariants(const ReportDocument &doc, int rows, const QString &title)
{
    QVERIFY(!doc.pages.isEmpty());
    QCOMPARE(doc.rowCount, rows);
    const QRectF body = doc.bodyRect;
    QVERIFY(doc.footerTop < body.bottom());
    QVERIFY(QRectF(QPointF(0, 0), doc.pageSize).contains(body));

    for (int i = 0; i < doc.pages.size(); ++i) {
        const ReportPage &page = doc.pages.at(i);
        QCOMPARE(page.number, i + 1);
        QVERIFY(page.bands.size() >= 2);

        // Header at the top (after the report header on page 1), footer last, at its reserved place.
        int k = 0;
        if (i == 0) {
            QCOMPARE(page.bands.at(0).kind, BandKind::ReportHeader);
            QCOMPARE(page.bands.at(0).rect.top(), body.top());
            k = 1;
        }
        QCOMPARE(page.bands.at(k).kind, BandKind::PageHeader);
        if (i > 0)
            QCOMPARE(page.bands.at(k).rect.top(), body.top());
        int headers = 0, footers = 0;
        for (const PlacedBand &b : page.bands) {
            headers += b.kind == BandKind::PageHeader;
            footers += b.kind == BandKind::PageFooter;
            if (b.kind == BandKind::ReportHeader)
                QCOMPARE(i, 0);
        }
        QCOMPARE(headers, 1);
        QCOMPARE(footers, 1);
        const PlacedBand &footer = page.bands.last();
        QCOMPARE(footer.kind, BandKind::PageFooter);
        QVERIFY(std::abs(footer.rect.top() - doc.footerTop) < kEps);
        QVERIFY(footer.rect.bottom() <= body.bottom() + kEps);

        for (int b = 0; b < page.bands.size(); ++b) {
            const PlacedBand &band = page.bands.at(b);
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
                    QVERIFY2(line.width <= it.rect.width() + kEps,
                             qPrintable(it.name + QStringLiteral(" is wider than its box: ") + line.text));
            }
        }

        // Page number, date and title in every page header and footer.
        const PlacedItem *number = findItem(page, footer, QStringLiteral("lblPage"));
        QVERIFY(number);
        QCOMPARE(number->text(), QString::number(page.number));
        const PlacedBand &header = page.bands.at(k);
        const PlacedItem *date = findItem(page, header, QStringLiteral("lblDate"));
        QVERIFY(date);
        QCOMPARE(date->text(), QStringLiteral("3/7/2026"));
        const PlacedItem *t = findItem(page, header, QStringLiteral("lblReportTitle"));
        QVERIFY(t);
        QCOMPARE(t->text().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts),
                 title.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts));
    }

    // One report header, on page 1; one report footer, on the last page, after the last record.
    int firstPage = 0;
    QCOMPARE(bandsOf(doc, BandKind::ReportHeader, &firstPage).size(), 1);
    QCOMPARE(firstPage, 1);
    const auto footers = bandsOf(doc, BandKind::ReportFooter, &firstPage);
    QCOMPARE(footers.size(), 1);
    QCOMPARE(firstPage, int(doc.pages.size()));
    const ReportPage &last = doc.pages.last();
    const PlacedBand *reportFooter = footers.first();
    for (const PlacedBand &b : last.bands)
        if (b.kind == BandKind::Detail)
            QVERIFY(b.rect.bottom() <= reportFooter->rect.top() + kEps);
    const PlacedItem *total = findItem(last, *reportFooter, QStringLiteral("FunTotalRegistros"));
    QVERIFY(total);
    QCOMPARE(total->text(), QString::number(rows));
    const PlacedItem *totalLabel = findItem(last, *reportFooter, QStringLiteral("lblTotal"));
    QVERIFY(totalLabel);
    QCOMPARE(totalLabel->text(), QStringLiteral("Registers Total:"));

    // Every record once, in order; a split record's parts on consecutive pages.
    const QList<Part> parts = detailParts(doc);
    int expectRow = 0, expectPart = 0, lastPage = 0;
    for (const Part &p : parts) {
        QCOMPARE(p.row, expectRow);
        QCOMPARE(p.part, expectPart);
        if (p.part > 0)
            QCOMPARE(p.page, lastPage + 1);
        lastPage = p.page;
        if (p.continues) {
            ++expectPart;
        } else {
            ++expectRow;
            expectPart = 0;
        }
    }
    QCOMPARE(expectRow, rows);
    QCOMPARE(expectPart, 0);
}

// The items of a detail band by name, over all its parts.
QString detailText(const ReportDocument &doc, int row, const QString &name)
{
    QStringList lines;
    for (const ReportPage &p : doc.pages)
        for (const PlacedBand &b : p.bands)
            if (b.kind == BandKind::Detail && b.row == row)
                if (const PlacedItem *it = findItem(p, b, name))
                    if (!it->lines.isEmpty())
                        lines << it->text();
    return lines.join(QLatin1Char('\n'));
}

QStringList words(const QString &s)
{
    return s.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

} // namespace

class TestReportLayout : public QObject
{
    Q_OBJECT

private slots:
    void rowCounts_data();
    void rowCounts();
    void exactlyOnePage_data();
    void exactlyOnePage();
    void growingNote_data();
    void growingNote();
    void noteTallerThanPage_data();
    void noteTallerThanPage();
    void titleWraps();
    void emptyValuesCounted();
    void fieldText_data();
    void fieldText();
    void titles_data();
    void titles();
    void boxesThatDoNotGrowCutTheirText();
    void fontSizesKeepTheirFraction();
    void layoutsByName();
};

void TestReportLayout::rowCounts_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("minPages");
    for (const ReportLayout *l : allLayouts()) {
        for (int n : {0, 1}) {
            const QByteArray tag = l->name.toLatin1() + " " + QByteArray::number(n);
            QTest::newRow(tag.constData()) << l->name << n << 1;
        }
        const QByteArray tag = l->name.toLatin1() + " 350";
        QTest::newRow(tag.constData()) << l->name << 350 << 3;
    }
}

void TestReportLayout::rowCounts()
{
    QFETCH(QString, layout);
    QFETCH(int, rows);
    QFETCH(int, minPages);
    const QString title = QStringLiteral("Project: TOWER   Subcontractor: ACME");
    const ReportDocument doc = layoutReport(layoutNamed(layout), rowsFor(layoutNamed(layout), rows), title, kDate);
    checkInvariants(doc, rows, title);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(doc.pages.size() >= minPages);
    if (rows <= 1)
        QCOMPARE(doc.pages.size(), 1);
    // Details are packed: a page other than the last is left only when the next record did not fit.
    const QList<Part> parts = detailParts(doc);
    for (int i = 1; i < parts.size(); ++i) {
        if (parts[i].page == parts[i - 1].page)
            continue;
        const qreal room = doc.footerTop - parts[i - 1].band->rect.bottom();
        QVERIFY2(room < parts[i].band->rect.height() - kEps,
                 qPrintable(QStringLiteral("record %1 moved to page %2 although it fitted")
                                .arg(parts[i].row)
                                .arg(parts[i].page)));
    }
}

void TestReportLayout::exactlyOnePage_data()
{
    QTest::addColumn<QString>("layout");
    for (const ReportLayout *l : allLayouts())
        QTest::newRow(l->name.toLatin1().constData()) << l->name;
}

// As many records as page 1 holds, by the layout's own band heights: all on page
// 1; one more and that one opens page 2 right under the page header.
void TestReportLayout::exactlyOnePage()
{
    QFETCH(QString, layout);
    const ReportLayout &l = layoutNamed(layout);
    const qreal footerTop = pt(kPageHeightPt - kMarginPt - l.pageFooter.height);
    const qreal firstDetail = pt(kMarginPt + l.reportHeader.height + l.pageHeader.height);
    const int capacity = int(std::floor((footerTop - firstDetail) / pt(l.detail.height) + 1e-9));
    QVERIFY(capacity >= 2);

    const QString title = QStringLiteral("Short title");
    const ReportDocument full = layoutReport(l, rowsFor(l, capacity), title, kDate);
    checkInvariants(full, capacity, title);
    if (QTest::currentTestFailed())
        return;
    const QList<Part> parts = detailParts(full);
    QCOMPARE(parts.size(), capacity);
    QCOMPARE(parts.last().page, 1);
    QVERIFY(std::abs(parts.last().band->rect.bottom() - (firstDetail + capacity * pt(l.detail.height))) < 0.5);

    const ReportDocument more = layoutReport(l, rowsFor(l, capacity + 1), title, kDate);
    checkInvariants(more, capacity + 1, title);
    if (QTest::currentTestFailed())
        return;
    const QList<Part> moreParts = detailParts(more);
    QCOMPARE(moreParts.at(capacity - 1).page, 1);
    QCOMPARE(moreParts.at(capacity).page, 2);
    QCOMPARE(more.pages.size(), 2);
    const PlacedBand &header2 = more.pages.at(1).bands.at(0);
    QCOMPARE(header2.kind, BandKind::PageHeader);
    QVERIFY(std::abs(moreParts.at(capacity).band->rect.top() - header2.rect.bottom()) < kEps);
}

void TestReportLayout::growingNote_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("noteWords");
    QTest::newRow("pickups, 60 words") << "DrpListofPickups" << 60;
    QTest::newRow("pickups, 200 words") << "DrpListofPickups" << 200;
    QTest::newRow("pickups only, 60 words") << "DrpListofPickupsOnly" << 60;
    QTest::newRow("pickups only, 200 words") << "DrpListofPickupsOnly" << 200;
}

// A long note breaks into lines within its box and makes its record taller by
// exactly the lines it adds; the next record starts below it.
void TestReportLayout::growingNote()
{
    QFETCH(QString, layout);
    QFETCH(int, noteWords);
    const ReportLayout &l = layoutNamed(layout);
    const QString longNote = reportrows::words(noteWords, 3);
    const RowSet rows = reportrows::pickups(3, [&](int i) { return i == 1 ? longNote : QStringLiteral("SHORT"); });
    const ReportDocument doc = layoutReport(l, rows, QStringLiteral("T"), kDate);
    checkInvariants(doc, 3, QStringLiteral("T"));
    if (QTest::currentTestFailed())
        return;

    const QList<Part> parts = detailParts(doc);
    QCOMPARE(parts.size(), 3);
    const ReportPage &page = doc.pages.first();
    const PlacedItem *note = findItem(page, *parts[1].band, QStringLiteral("txtnote"));
    QVERIFY(note);
    QVERIFY(note->lines.size() >= 3);
    QCOMPARE(words(note->text()), words(longNote));
    for (const TextLine &line : note->lines)
        QVERIFY(!line.text.isEmpty());
    // Lines are filled: the first word of each line would not have fitted on the line before.
    const ReportItem *src = nullptr;
    for (const ReportItem &it : l.detail.items)
        if (it.name == QLatin1String("txtnote"))
            src = &it;
    QVERIFY(src);
    QImage device(1, 1, QImage::Format_RGB32);
    device.setDotsPerMeterX(qRound(kReferenceDpi / 0.0254));
    device.setDotsPerMeterY(qRound(kReferenceDpi / 0.0254));
    const QFontMetricsF fm(referenceFont(src->font), &device);
    for (int i = 1; i < note->lines.size(); ++i) {
        const QString next = note->lines[i].text.section(QLatin1Char(' '), 0, 0);
        const qreal withNext = fm.horizontalAdvance(note->lines[i - 1].text + QLatin1Char(' ') + next);
        QVERIFY2(withNext > note->rect.width() - 1,
                 qPrintable(QStringLiteral("line %1 could have held \"%2\"").arg(i).arg(next)));
        QVERIFY(fm.horizontalAdvance(note->lines[i - 1].text) <= note->rect.width() + 1);
    }

    const ResolvedFont &f = doc.fonts.at(note->font);
    const qreal base = pt(l.detail.height);
    QVERIFY(std::abs(parts[0].band->rect.height() - base) < kEps);
    QVERIFY(std::abs(parts[2].band->rect.height() - base) < kEps);
    const qreal grown = note->lines.size() * f.lineSpacing - note->rect.height();
    QVERIFY(std::abs(grown) < kEps); // the box holds exactly its lines
    const qreal extra = note->lines.size() * f.lineSpacing - pt(src->rect.height());
    QVERIFY(std::abs(parts[1].band->rect.height() - (base + extra)) < kEps);
    QVERIFY(std::abs(parts[2].band->rect.top() - parts[1].band->rect.bottom()) < kEps);
}

void TestReportLayout::noteTallerThanPage_data()
{
    QTest::addColumn<QString>("layout");
    QTest::newRow("pickups") << "DrpListofPickups";
    QTest::newRow("pickups only") << "DrpListofPickupsOnly";
}

// A note longer than a page starts on the current page and goes on over the next
// pages, split between its lines; nothing is lost or repeated.
void TestReportLayout::noteTallerThanPage()
{
    QFETCH(QString, layout);
    const ReportLayout &l = layoutNamed(layout);
    const QString hugeNote = reportrows::words(2500, 1);
    const RowSet rows = reportrows::pickups(3, [&](int i) { return i == 1 ? hugeNote : QStringLiteral("SHORT"); });
    const ReportDocument doc = layoutReport(l, rows, QStringLiteral("T"), kDate);
    checkInvariants(doc, 3, QStringLiteral("T"));
    if (QTest::currentTestFailed())
        return;

    const QList<Part> parts = detailParts(doc);
    QVERIFY(parts.size() >= 5); // row 0, row 1 in three or more parts, row 2
    QCOMPARE(parts.first().row, 0);
    QCOMPARE(parts.last().row, 2);
    QCOMPARE(parts[1].row, 1);
    QCOMPARE(parts[1].page, 1); // it starts right after the record before it
    QVERIFY(std::abs(parts[1].band->rect.top() - parts[0].band->rect.bottom()) < kEps);
    int middle = 0;
    for (const Part &p : parts) {
        if (p.row != 1)
            continue;
        if (p.page > 1) { // a continuation opens its page under the page header
            const ReportPage &page = doc.pages.at(p.page - 1);
            QCOMPARE(page.bands.at(0).kind, BandKind::PageHeader);
            QCOMPARE(page.bands.at(1).row, 1);
        }
        if (p.continues) // it fills its page to the last line that fits
            QVERIFY(doc.footerTop - p.band->rect.bottom() <
                    doc.fonts.at(findItem(doc.pages.at(p.page - 1), *p.band, QStringLiteral("txtnote"))->font)
                        .lineSpacing);
        middle += p.continues && p.part > 0;
    }
    QVERIFY(middle >= 1);
    QCOMPARE(words(detailText(doc, 1, QStringLiteral("txtnote"))), words(hugeNote));
    // The record's other fields print once, with its first part.
    QCOMPARE(detailText(doc, 1, QStringLiteral("txtpickupby")), QStringLiteral("PICKUP BY 002"));
}

// A title too long for one line wraps in every page header and pushes the rule
// and column headings down.
void TestReportLayout::titleWraps()
{
    const ReportLayout &l = DrpListofPickupsOnly();
    const QString title = QStringLiteral("Project: ") + reportrows::words(30) +
                          QStringLiteral("   Subcontractor: ") + reportrows::words(12, 5);
    const ReportDocument doc = layoutReport(l, reportrows::pickups(120), title, kDate);
    checkInvariants(doc, 120, title);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(doc.pages.size() >= 2);
    const ReportDocument plain = layoutReport(l, reportrows::pickups(120), QStringLiteral("T"), kDate);
    for (const ReportPage &page : doc.pages) {
        const PlacedBand &header = page.bands.at(page.number == 1 ? 1 : 0);
        const PlacedItem *t = findItem(page, header, QStringLiteral("lblReportTitle"));
        QVERIFY(t);
        QVERIFY(t->lines.size() >= 2);
        const qreal extra = t->lines.size() * doc.fonts.at(t->font).lineSpacing - pt(12);
        QVERIFY(std::abs(header.rect.height() - (pt(l.pageHeader.height) + extra)) < kEps);
        for (const QString &name : {QStringLiteral("linHeader"), QStringLiteral("shpHeadings"),
                                    QStringLiteral("lblPickupDate"), QStringLiteral("lblNote")}) {
            const PlacedItem *it = findItem(page, header, name);
            QVERIFY(it);
            QVERIFY2(it->rect.top() >= t->rect.bottom() - kEps, qPrintable(name + " overlaps the title"));
        }
        // The date on the right stays on the first line.
        QVERIFY(std::abs(findItem(page, header, QStringLiteral("lblDate"))->rect.top() - t->rect.top()) < kEps);
    }
    QVERIFY(doc.pages.size() >= plain.pages.size());
}

// The row count counts records, whatever their values; empty values print nothing.
void TestReportLayout::emptyValuesCounted()
{
    for (const ReportLayout *l : allLayouts()) {
        RowSet rows = rowsFor(*l, 5);
        for (QVariantList &r : rows.rows)
            for (QVariant &v : r)
                v = QVariant();
        rows.rows[2] = {}; // a record without any column
        const ReportDocument doc = layoutReport(*l, rows, QStringLiteral(" "), kDate);
        checkInvariants(doc, 5, QStringLiteral(" "));
        if (QTest::currentTestFailed())
            return;
        for (const ReportPage &page : doc.pages)
            for (const PlacedBand &b : page.bands)
                if (b.kind == BandKind::Detail)
                    for (const PlacedItem &it : page.itemsOf(b))
                        if (it.kind == ItemKind::Field)
                            QVERIFY2(it.lines.isEmpty(), qPrintable(l->name + ": " + it.name + " printed " + it.text()));
    }
}

void TestReportLayout::fieldText_data()
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
    QTest::newRow("project name, lower case") << "DrpListofProjects" << "projectname" << QVariant("TOWER")
                                              << "TOWER";
    QTest::newRow("number") << "DrpListofCompanies" << "ZIPCODE" << QVariant(12345) << "12345";
    QTest::newRow("empty text") << "DrpListofCompanies" << "Email" << QVariant("") << "";
}

// What a field prints, reached by its column name in any case.
void TestReportLayout::fieldText()
{
    QFETCH(QString, layout);
    QFETCH(QString, column);
    QFETCH(QVariant, value);
    QFETCH(QString, printed);
    const ReportLayout &l = layoutNamed(layout);
    RowSet rows;
    rows.columns = {QStringLiteral("id"), column};
    rows.rows = {{1, value}};
    const ReportDocument doc = layoutReport(l, rows, QStringLiteral("T"), kDate);
    const PlacedItem *item = nullptr;
    for (const ReportPage &p : doc.pages)
        for (const PlacedBand &b : p.bands)
            if (b.kind == BandKind::Detail)
                for (int i = b.firstItem; i < b.firstItem + b.itemCount; ++i)
                    if (p.items[i].kind == ItemKind::Field &&
                        p.items[i].name.compare("txt" + column, Qt::CaseInsensitive) == 0)
                        item = &p.items[i];
    QVERIFY(item);
    QCOMPARE(item->text(), printed);
}

void TestReportLayout::titles_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("printed");
    QTest::newRow("projects, no title set") << "DrpListofProjects" << QString() << "List of Projects";
    QTest::newRow("projects, title set") << "DrpListofProjects" << "Projects list not active"
                                         << "Projects list not active";
    QTest::newRow("companies, one blank") << "DrpListofCompanies" << " " << "";
    QTest::newRow("pickups, no title set") << "DrpListofPickups" << QString() << "";
}

// "%i" prints the caller's title; the projects report has one of its own.
void TestReportLayout::titles()
{
    QFETCH(QString, layout);
    QFETCH(QString, title);
    QFETCH(QString, printed);
    const ReportDocument doc = layoutReport(layoutNamed(layout), rowsFor(layoutNamed(layout), 2), title, kDate);
    const ReportPage &page = doc.pages.first();
    const PlacedItem *t = findItem(page, page.bands.at(1), QStringLiteral("lblReportTitle"));
    QVERIFY(t);
    QCOMPARE(t->text().trimmed(), printed);
    QVERIFY(t->lines.size() <= 1);
}

// A value too wide for a box that does not grow prints on one line, cut at the box.
void TestReportLayout::boxesThatDoNotGrowCutTheirText()
{
    const QString longPackage = QStringLiteral("PACKAGE ") + reportrows::words(40);
    RowSet rows = reportrows::pickups(1);
    rows.rows[0][rows.columnIndex("package")] = longPackage;
    const ReportDocument doc = layoutReport(DrpListofPickupsOnly(), rows, QStringLiteral("T"), kDate);
    const QString printed = detailText(doc, 0, QStringLiteral("txtpackage"));
    QVERIFY(!printed.isEmpty());
    QVERIFY(!printed.contains(QLatin1Char('\n')));
    QVERIFY(printed.size() < longPackage.size());
    QVERIFY(longPackage.startsWith(printed));
    const QList<Part> parts = detailParts(doc);
    QCOMPARE(parts.size(), 1);
    QVERIFY(std::abs(parts[0].band->rect.height() - pt(DrpListofPickupsOnly().detail.height)) < kEps);
}

// Sizes such as 8.25 points are kept, not rounded to whole points.
void TestReportLayout::fontSizesKeepTheirFraction()
{
    const ReportDocument doc = layoutReport(DrpListofPickups(), reportrows::pickups(1), QStringLiteral("T"), kDate);
    QList<qreal> sizes;
    const ResolvedFont *regular = nullptr;
    const ResolvedFont *nine = nullptr;
    for (const ResolvedFont &f : doc.fonts) {
        sizes << f.font.pointSizeF();
        QCOMPARE(f.font.pointSizeF(), f.def.pointSize);
        QCOMPARE(f.font.family(), QStringLiteral("Arial"));
        if (f.def.pointSize == 8.25 && !f.def.bold && !f.def.italic)
            regular = &f;
        if (f.def.pointSize == 9 && !f.def.bold && !f.def.italic)
            nine = &f;
    }
    QVERIFY(sizes.contains(8.25));
    QVERIFY(sizes.contains(12.0));
    QVERIFY(regular && nine);
    // Line spacing is measured at the reference resolution: proportional to the size.
    QVERIFY(std::abs(nine->lineSpacing / regular->lineSpacing - 9 / 8.25) < 0.02);
    QVERIFY(regular->lineSpacing > 8.25 * kRefPerPoint && regular->lineSpacing < 8.25 * 1.3 * kRefPerPoint);
}

void TestReportLayout::layoutsByName()
{
    const QStringList names = {"DrpListofPickups", "DrpListofPickupsOnly", "DrpListofProjects", "DrpListofCompanies"};
    const QStringList captions = {"List of Pickups", "List of Pickups", "List of Projects", "List of Companies"};
    for (int i = 0; i < names.size(); ++i) {
        const ReportLayout *l = layoutByName(names[i]);
        QVERIFY(l);
        QCOMPARE(l->name, names[i]);
        QCOMPARE(l->caption, captions[i]);
        QCOMPARE(layoutByName(names[i].toLower()), l);
    }
    QCOMPARE(&DrpListofProjects(), layoutByName("DrpListofProjects"));
    QVERIFY(!layoutByName("DrpNothing"));
}

QTEST_MAIN(TestReportLayout)
#include "tst_reportlayout.moc"
