#include "core/reports/reportlayout.h"

namespace core::reports {

namespace {

constexpr qreal W = kBodyWidthPt;

FontDef arial(qreal pt, bool bold = false, bool italic = false)
{
    FontDef f;
    f.pointSize = pt;
    f.bold = bold;
    f.italic = italic;
    return f;
}

const FontDef kRegular = arial(8.25);
const FontDef kBold = arial(8.25, true);

ReportItem text(ItemKind kind, const QString &name, const QString &t, const QRectF &r, const FontDef &f, Align a,
                bool grows)
{
    ReportItem it;
    it.kind = kind;
    it.name = name;
    it.text = t;
    it.rect = r;
    it.font = f;
    it.align = a;
    it.grows = grows;
    return it;
}

ReportItem label(const QString &name, const QString &t, const QRectF &r, const FontDef &f = kRegular,
                 Align a = Align::Left, bool grows = false)
{
    return text(ItemKind::Label, name, t, r, f, a, grows);
}

ReportItem field(const QString &column, const QRectF &r, const FontDef &f = kRegular, bool grows = false)
{
    ReportItem it = text(ItemKind::Field, QStringLiteral("txt") + column, column, r, f, Align::Left, grows);
    if (column.compare(QLatin1String("pickupdate"), Qt::CaseInsensitive) == 0)
        it.format = FieldFormat::Date;
    else if (column.compare(QLatin1String("active"), Qt::CaseInsensitive) == 0)
        it.format = FieldFormat::YesNo;
    return it;
}

ReportItem rule(const QString &name, qreal y)
{
    ReportItem it;
    it.kind = ItemKind::Line;
    it.name = name;
    it.rect = QRectF(0, y, W, 0);
    return it;
}

ReportItem shape(const QString &name, const QRectF &r, bool filled = false)
{
    ReportItem it;
    it.kind = ItemKind::Shape;
    it.name = name;
    it.rect = r;
    it.filled = filled;
    return it;
}

Band band(BandKind kind, const char *section, qreal height, QList<ReportItem> items)
{
    Band b;
    b.kind = kind;
    b.section = QString::fromLatin1(section);
    b.height = height;
    b.items = std::move(items);
    return b;
}

Band titleBand(const QString &title, Align align)
{
    return band(BandKind::ReportHeader, "Section4", 26,
                {label(QStringLiteral("lblTitle"), title, QRectF(0, 2, W, 17), arial(12, true), align)});
}

// "%i" in the middle (growing when the title wraps) and "%d" on the right.
QList<ReportItem> titleAndDate(const FontDef &titleFont)
{
    return {label(QStringLiteral("lblReportTitle"), QStringLiteral("%i"), QRectF(100, 2, W - 200, 12), titleFont,
                  Align::Centre, true),
            label(QStringLiteral("lblDate"), QStringLiteral("%d"), QRectF(W - 95, 2, 95, 11), kRegular, Align::Right)};
}

Band pageFooter()
{
    return band(
        BandKind::PageFooter, "Section3", 24,
        {rule(QStringLiteral("linFooter"), 4),
         label(QStringLiteral("lblPage"), QStringLiteral("%p"), QRectF(W - 140, 9, 140, 11), kRegular, Align::Right)});
}

// The row count; only the subcontractor list prints its label in regular type.
Band reportFooter(const FontDef &labelFont)
{
    ReportItem count = text(ItemKind::Function, QStringLiteral("FunTotalRegistros"), QString(), QRectF(96, 12, 80, 11),
                            kRegular, Align::Left, false);
    return band(
        BandKind::ReportFooter, "Section5", 32,
        {shape(QStringLiteral("shpTotal"), QRectF(0, 8, 190, 19)),
         label(QStringLiteral("lblTotal"), QStringLiteral("Registers Total:"), QRectF(8, 12, 86, 11), labelFont),
         count});
}

} // namespace

const Band &ReportLayout::band(BandKind kind) const
{
    switch (kind) {
    case BandKind::ReportHeader:
        return reportHeader;
    case BandKind::PageHeader:
        return pageHeader;
    case BandKind::Detail:
        return detail;
    case BandKind::PageFooter:
        return pageFooter;
    case BandKind::ReportFooter:
        return reportFooter;
    }
    return detail;
}

const ReportLayout &DrpListofPickups()
{
    static const ReportLayout l = [] {
        ReportLayout r;
        r.name = QStringLiteral("DrpListofPickups");
        r.caption = QStringLiteral("List of Pickups");
        r.reportHeader = titleBand(QStringLiteral("List of Pickups"), Align::Left);
        QList<ReportItem> ph = titleAndDate(arial(9, false, true));
        ph << rule(QStringLiteral("linHeader"), 18);
        r.pageHeader = band(BandKind::PageHeader, "Section2", 24, ph);
        r.detail = band(
            BandKind::Detail, "Section1", 50,
            {rule(QStringLiteral("linRecord"), 2),
             label(QStringLiteral("lblSubcontractor"), QStringLiteral("Subcontractor"), QRectF(0, 7, 78, 12),
                   arial(9, true)),
             field(QStringLiteral("name"), QRectF(82, 7, W - 82, 12), arial(9)),
             label(QStringLiteral("lblPickupDate"), QStringLiteral("Pickup Date:"), QRectF(0, 22, 58, 11), kBold),
             field(QStringLiteral("pickupdate"), QRectF(60, 22, 98, 11)),
             label(QStringLiteral("lblPickupBy"), QStringLiteral("Pickup By:"), QRectF(162, 22, 50, 11), kBold),
             field(QStringLiteral("pickupby"), QRectF(214, 22, 150, 11)),
             label(QStringLiteral("lblPackage"), QStringLiteral("Package:"), QRectF(370, 22, 42, 11), kBold),
             field(QStringLiteral("package"), QRectF(414, 22, W - 414, 11)),
             label(QStringLiteral("lblNote"), QStringLiteral("Note:"), QRectF(0, 36, 28, 11), kBold),
             field(QStringLiteral("note"), QRectF(30, 36, W - 30, 11), kRegular, true)});
        r.pageFooter = pageFooter();
        r.reportFooter = reportFooter(kBold);
        return r;
    }();
    return l;
}

const ReportLayout &DrpListofPickupsOnly()
{
    static const ReportLayout l = [] {
        ReportLayout r;
        r.name = QStringLiteral("DrpListofPickupsOnly");
        r.caption = QStringLiteral("List of Pickups");
        r.reportHeader = titleBand(QStringLiteral("List of Pickups"), Align::Left);
        QList<ReportItem> ph = titleAndDate(arial(9, true));
        ph << rule(QStringLiteral("linHeader"), 18) << shape(QStringLiteral("shpHeadings"), QRectF(0, 23, W, 17))
           << label(QStringLiteral("lblPickupDate"), QStringLiteral("Pickup Date"), QRectF(4, 26.5, 90, 11), kBold)
           << label(QStringLiteral("lblPickupBy"), QStringLiteral("Pickup By"), QRectF(100, 26.5, 130, 11), kBold)
           << label(QStringLiteral("lblPackage"), QStringLiteral("Package"), QRectF(236, 26.5, 120, 11), kBold)
           << label(QStringLiteral("lblNote"), QStringLiteral("Note"), QRectF(362, 26.5, W - 366, 11), kBold);
        r.pageHeader = band(BandKind::PageHeader, "Section2", 44, ph);
        r.detail = band(BandKind::Detail, "Section1", 15,
                        {field(QStringLiteral("pickupdate"), QRectF(4, 2, 92, 11)),
                         field(QStringLiteral("pickupby"), QRectF(100, 2, 130, 11)),
                         field(QStringLiteral("package"), QRectF(236, 2, 120, 11)),
                         field(QStringLiteral("note"), QRectF(362, 2, W - 366, 11), kRegular, true)});
        r.pageFooter = pageFooter();
        r.reportFooter = reportFooter(kBold);
        return r;
    }();
    return l;
}

const ReportLayout &DrpListofProjects()
{
    static const ReportLayout l = [] {
        ReportLayout r;
        r.name = QStringLiteral("DrpListofProjects");
        r.caption = QStringLiteral("List of Projects");
        r.defaultTitle = QStringLiteral("List of Projects");
        r.reportHeader = titleBand(QStringLiteral("List of Projects"), Align::Centre);
        QList<ReportItem> ph = titleAndDate(arial(9, false, true));
        ph << shape(QStringLiteral("shpHeadings"), QRectF(0, 19, W, 17))
           << label(QStringLiteral("lblProjectName"), QStringLiteral("Project Name"), QRectF(4, 22.5, 250, 11), kBold)
           << label(QStringLiteral("lblCompany"), QStringLiteral("Company"), QRectF(260, 22.5, 210, 11), kBold)
           << label(QStringLiteral("lblActive"), QStringLiteral("Active"), QRectF(476, 22.5, 60, 11), kBold);
        r.pageHeader = band(BandKind::PageHeader, "Section2", 40, ph);
        r.detail = band(BandKind::Detail, "Section1", 14,
                        {field(QStringLiteral("ProjectName"), QRectF(4, 2, 250, 11)),
                         field(QStringLiteral("Company"), QRectF(260, 2, 210, 11)),
                         field(QStringLiteral("Active"), QRectF(476, 2, 40, 11))});
        r.pageFooter = pageFooter();
        r.reportFooter = reportFooter(kBold);
        return r;
    }();
    return l;
}

const ReportLayout &DrpListofCompanies()
{
    static const ReportLayout l = [] {
        ReportLayout r;
        r.name = QStringLiteral("DrpListofCompanies");
        r.caption = QStringLiteral("List of Companies");
        r.reportHeader = titleBand(QStringLiteral("List of Companies"), Align::Centre);
        QList<ReportItem> ph = titleAndDate(arial(9, false, true));
        ph << shape(QStringLiteral("shpBar"), QRectF(0, 17, W, 2.5), true);
        r.pageHeader = band(BandKind::PageHeader, "Section2", 24, ph);

        // Two columns of labelled fields: labels at 0 and 282, values after them.
        constexpr qreal top = 7, step = 13, h = 11;
        auto y = [&](int line) { return top + step * (line - 1); };
        auto lbl = [&](const char *t, qreal x, int line, qreal w = 54) {
            const QString s = QString::fromLatin1(t);
            return label(QStringLiteral("lbl") + QString(s).remove(QLatin1Char(' ')).remove(QLatin1Char(':')), s,
                         QRectF(x, y(line), w, h), kBold);
        };
        auto fld = [&](const char *c, qreal x, int line, qreal right) {
            return field(QString::fromLatin1(c), QRectF(x, y(line), right - x, h));
        };
        constexpr qreal a = 0, av = 58, b = 282, bv = 340;
        const ReportItem slash
            = label(QStringLiteral("lblSlash"), QStringLiteral("/"), QRectF(264, y(2), 14, h), kRegular, Align::Centre);
        r.detail = band(BandKind::Detail, "Section1", 114,
                        {rule(QStringLiteral("linRecord"), 2),
                         lbl("Name:", a, 1),
                         fld("Name", av, 1, W),
                         lbl("Address:", a, 2),
                         fld("Address1", av, 2, 262),
                         slash,
                         fld("Address2", b, 2, W),
                         lbl("City:", a, 3),
                         fld("city", av, 3, 178),
                         lbl("State:", 182, 3, 34),
                         fld("state", 216, 3, 278),
                         lbl("Zip Code:", b, 3),
                         fld("zipcode", bv, 3, W),
                         lbl("Phone:", a, 4),
                         fld("Telephone", av, 4, 278),
                         lbl("Email:", b, 4),
                         fld("Email", bv, 4, W),
                         lbl("Fax:", a, 5),
                         fld("Fax", av, 5, 278),
                         lbl("Web Site:", b, 5),
                         fld("website", bv, 5, W),
                         lbl("Pickup Date:", a, 6),
                         fld("pickupdate", av, 6, 278),
                         lbl("Pickup By:", b, 6),
                         fld("pickupby", bv, 6, W),
                         lbl("Package:", a, 7),
                         fld("package", av, 7, 278),
                         lbl("Active:", b, 7),
                         fld("active", bv, 7, W),
                         lbl("Note:", a, 8),
                         fld("note", av, 8, W)});
        r.pageFooter = pageFooter();
        r.reportFooter = reportFooter(kRegular);
        return r;
    }();
    return l;
}

QList<const ReportLayout *> allLayouts()
{
    return {&DrpListofPickups(), &DrpListofPickupsOnly(), &DrpListofProjects(), &DrpListofCompanies()};
}

const ReportLayout *layoutByName(const QString &name)
{
    for (const ReportLayout *l : allLayouts())
        if (l->name.compare(name, Qt::CaseInsensitive) == 0)
            return l;
    return nullptr;
}

} // namespace core::reports
