#pragma once
#include "core/db/rowset.h"
#include "core/reports/reportlayout.h"

#include <QDate>
#include <QFont>
#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <memory>

// The layout pass: a pure function from (layout, rows, title, date) to pages of
// placed items whose text is already broken into lines. Everything is measured at
// one fixed reference resolution so that a preview, a PDF and a printer break
// lines and pages identically.
namespace core::reports {

inline constexpr qreal kReferenceDpi = 1200;
inline constexpr qreal kRefPerPoint = kReferenceDpi / 72.0;

struct TextLine
{
    QString text;
    qreal width = 0; // reference units
};

struct PlacedItem
{
    ItemKind kind = ItemKind::Label;
    QString name;  // the layout item's name
    QRectF rect;   // reference units (1/1200 inch) from the page's top-left corner
    int font = -1; // index into ReportDocument::fonts; text items only
    Align align = Align::Left;
    bool filled = false;
    QList<TextLine> lines;

    QString text() const; // the lines joined with "\n"
};

struct PlacedBand
{
    BandKind kind = BandKind::Detail;
    int row = -1;           // detail bands: the record's index in the row set
    int part = 0;           // a detail band split over pages: 0, 1, ...
    bool continues = false; // another part follows on the next page
    QRectF rect;            // reference units, page coordinates
    int firstItem = 0;      // its items in ReportPage::items
    int itemCount = 0;
};

struct ReportPage
{
    int number = 0;          // from 1
    QList<PlacedBand> bands; // top to bottom
    QList<PlacedItem> items;

    QList<PlacedItem> itemsOf(const PlacedBand &band) const { return items.mid(band.firstItem, band.itemCount); }
};

struct ResolvedFont
{
    FontDef def;
    QFont font;       // resolved for the reference resolution
    qreal ascent = 0; // reference units
    qreal lineSpacing = 0;
};

struct ReportDocument
{
    QString layoutName;
    QString caption;
    QString title;
    QSizeF pageSize;     // reference units
    QRectF bodyRect;     // the page inside its margins
    qreal footerTop = 0; // bands above the page footer end here
    QList<ResolvedFont> fonts;
    QList<ReportPage> pages;
    int rowCount = 0;
};

// The layout pass fed one row at a time: pages come out as they fill, so a report
// of any length needs the memory of one page (plus the pages not yet taken).
class LayoutStream
{
public:
    LayoutStream(const ReportLayout &layout, const QStringList &columns, const QString &title, const QDate &date);
    ~LayoutStream();
    LayoutStream(const LayoutStream &) = delete;
    LayoutStream &operator=(const LayoutStream &) = delete;

    void addRow(const QVariantList &row); // values in the order of `columns`
    void finish();                        // the report footer after the last row
    bool hasPage() const;
    ReportPage takePage(); // the oldest finished page
    // Sizes and fonts of the document, without pages; rowCount counts the rows added.
    const ReportDocument &document() const;

private:
    class Pass;
    std::unique_ptr<Pass> d;
};

ReportDocument layoutReport(const ReportLayout &layout, const db::RowSet &rows, const QString &title,
                            const QDate &date);

// A font as the layout pass measures it: its family, size and style at the
// reference resolution.
QFont referenceFont(const FontDef &def);

// What a field prints for one record ("" for NULL, empty or a missing column).
QString fieldText(const ReportItem &item, const QVariant &value);

} // namespace core::reports
