#pragma once
#include <QList>
#include <QRectF>
#include <QString>

// Banded report layouts, described in code. Geometry is in points (1/72 inch),
// relative to the top-left corner of the band inside the page margins.
namespace core::reports {

// US Letter portrait with half-inch margins; layouts fill the width between them.
inline constexpr qreal kPageWidthPt = 612;
inline constexpr qreal kPageHeightPt = 792;
inline constexpr qreal kMarginPt = 36;
inline constexpr qreal kBodyWidthPt = kPageWidthPt - 2 * kMarginPt;

enum class BandKind { ReportHeader, PageHeader, Detail, PageFooter, ReportFooter };

enum class ItemKind {
    Label,    // fixed text; "%d", "%i" and "%p" are replaced when printing
    Field,    // the value of one column of the current record
    Function, // the number of records
    Line,     // a horizontal rule along the top edge of its rectangle
    Shape,    // a rectangle framing other items (or a filled bar)
};

enum class Align { Left, Centre, Right };

// How a field's value becomes text.
enum class FieldFormat {
    Text,
    Date,  // stored ISO text, printed in the short form m/d/yyyy
    YesNo, // -1/0, printed "Yes"/"No"
};

struct FontDef
{
    QString family = QStringLiteral("Arial");
    qreal pointSize = 8.25;
    bool bold = false;
    bool italic = false;

    friend bool operator==(const FontDef &, const FontDef &) = default;
};

struct ReportItem
{
    ItemKind kind = ItemKind::Label;
    QString name; // object name, e.g. "FunTotalRegistros"
    QString text; // the caption of a label, the column of a field
    QRectF rect;  // points, relative to the band
    FontDef font;
    Align align = Align::Left;
    bool grows = false; // extends downwards for text of more than one line
    FieldFormat format = FieldFormat::Text;
    bool filled = false; // shapes: a solid bar instead of a frame

    bool isText() const { return kind == ItemKind::Label || kind == ItemKind::Field || kind == ItemKind::Function; }
};

struct Band
{
    BandKind kind = BandKind::Detail;
    QString section;  // the band's section name
    qreal height = 0; // points, before any item grows
    QList<ReportItem> items;
};

struct ReportLayout
{
    QString name;         // "DrpListofPickups"
    QString caption;      // preview window caption
    QString defaultTitle; // printed for "%i" until a caller sets a title
    Band reportHeader, pageHeader, detail, pageFooter, reportFooter;

    const Band &band(BandKind kind) const;
};

// The four layouts of the application; each exists once.
const ReportLayout &DrpListofPickups();
const ReportLayout &DrpListofPickupsOnly();
const ReportLayout &DrpListofProjects();
const ReportLayout &DrpListofCompanies();

// One of the four by name (case-insensitive); nullptr when there is none.
const ReportLayout *layoutByName(const QString &name);
QList<const ReportLayout *> allLayouts();

} // namespace core::reports
