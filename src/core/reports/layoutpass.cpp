#include "core/reports/layoutpass.h"

#include "core/app/dates.h"

#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <cmath>

namespace core::reports {

QString PlacedItem::text() const
{
    QStringList parts;
    parts.reserve(lines.size());
    for (const TextLine &l : lines)
        parts << l.text;
    return parts.join(QLatin1Char('\n'));
}

namespace {

constexpr qreal kEps = 0.01;

// Metrics come from a device that claims the reference resolution, never from
// the screen: the same text must break the same way everywhere.
const QPaintDevice *referenceDevice()
{
    static const QImage device = [] {
        QImage img(1, 1, QImage::Format_RGB32);
        const int dpm = qRound(kReferenceDpi / 0.0254);
        img.setDotsPerMeterX(dpm);
        img.setDotsPerMeterY(dpm);
        return img;
    }();
    return &device;
}

QRectF toRef(const QRectF &pt)
{
    return QRectF(pt.x() * kRefPerPoint, pt.y() * kRefPerPoint, pt.width() * kRefPerPoint, pt.height() * kRefPerPoint);
}

// One font of the layout, with the widths it has measured so far: the same words
// and values come back row after row, and measuring is the costly part.
struct FontEntry
{
    FontDef def;
    QFont font;
    QFontMetricsF fm;
    qreal ascent;
    qreal lineSpacing;
    qreal space;
    QHash<QString, qreal> widths;

    explicit FontEntry(const FontDef &s)
        : def(s)
        , font(referenceFont(s))
        , fm(font, referenceDevice())
        , ascent(fm.ascent())
        , lineSpacing(fm.lineSpacing())
        , space(fm.horizontalAdvance(QLatin1Char(' ')))
    {
    }

    qreal width(const QString &s)
    {
        const auto it = widths.constFind(s);
        if (it != widths.constEnd())
            return *it;
        const qreal w = fm.horizontalAdvance(s);
        if (widths.size() < 200000)
            widths.insert(s, w);
        return w;
    }

    // The longest prefix of `s` (at least one character) no wider than `limit`.
    qsizetype fittingPrefix(const QString &s, qreal limit) const
    {
        qsizetype lo = 1, hi = s.size();
        while (lo < hi) {
            const qsizetype mid = (lo + hi + 1) / 2;
            if (fm.horizontalAdvance(s.left(mid)) <= limit + kEps)
                lo = mid;
            else
                hi = mid - 1;
        }
        return lo;
    }
};

// Greedy word wrap; a word wider than the box is broken between characters.
QList<TextLine> wrapText(const QString &text, qreal width, FontEntry &f)
{
    QList<TextLine> out;
    QString norm = text;
    norm.remove(QLatin1Char('\r'));
    norm.replace(QLatin1Char('\t'), QLatin1Char(' '));
    const QStringList paragraphs = norm.split(QLatin1Char('\n'));
    static const QRegularExpression word(QStringLiteral("\\S+"));
    for (const QString &para : paragraphs) {
        QString cur;
        qreal curW = 0;
        qsizetype end = 0; // where the previous word ended
        // The blanks between words print as typed ("Project: X   Subcontractor: Y");
        // a line break swallows them.
        for (auto it = word.globalMatch(para); it.hasNext();) {
            const auto m = it.next();
            const QString gap = para.mid(end, m.capturedStart() - end);
            end = m.capturedEnd();
            QString w = m.captured();
            qreal ww = f.width(w);
            if (!cur.isEmpty()) {
                const qreal gapW = gap.size() == 1 ? f.space : f.width(gap);
                const qreal joined = curW + gapW + ww;
                if (joined <= width + kEps) {
                    cur += gap + w;
                    curW = joined;
                    continue;
                }
                out.append({cur, curW});
                cur.clear();
                curW = 0;
            }
            while (ww > width + kEps && w.size() > 1) {
                const qsizetype n = f.fittingPrefix(w, width);
                const QString head = w.left(n);
                out.append({head, f.fm.horizontalAdvance(head)});
                w = w.mid(n);
                ww = f.width(w);
            }
            cur = w;
            curW = ww;
        }
        out.append({cur, curW});
    }
    return out;
}

// A box that does not grow shows one line, cut where the box ends.
QList<TextLine> singleLine(const QString &text, qreal width, FontEntry &f)
{
    QString t = text;
    if (t.contains(QLatin1Char('\n')) || t.contains(QLatin1Char('\r')) || t.contains(QLatin1Char('\t'))) {
        t.remove(QLatin1Char('\r'));
        t.replace(QLatin1Char('\n'), QLatin1Char(' '));
        t.replace(QLatin1Char('\t'), QLatin1Char(' '));
    }
    qreal w = f.width(t);
    if (w > width + kEps) {
        t = t.left(f.fittingPrefix(t, width));
        w = f.fm.horizontalAdvance(t);
    }
    return {{t, w}};
}

struct LaidItem
{
    int source;  // index in the band's items
    QRectF rect; // reference units, relative to the band
    QList<TextLine> lines;
};

struct LaidBand
{
    BandKind kind = BandKind::Detail;
    qreal height = 0;
    QList<LaidItem> items;
};

struct PreparedBand
{
    const Band *band = nullptr;
    QList<int> font;    // per item: index into the font entries, -1 for rules and shapes
    QList<int> column;  // per item: the field's column in the row set, -1 otherwise
    QList<QRectF> rect; // per item, reference units
    qreal height = 0;
};

} // namespace

// The pass keeps only the page being filled: finished pages wait in `ready` until
// taken, and a row is not kept once its band is placed.
class LayoutStream::Pass
{
public:
    Pass(const ReportLayout &layout, const QStringList &columns, const QString &title, const QDate &date)
        : m_layout(layout)
        , m_title(title.isNull() ? layout.defaultTitle : title)
        , m_date(dates::toShort(QVariant(date)))
    {
        m_columns.columns = columns;
        for (BandKind k : {BandKind::ReportHeader, BandKind::PageHeader, BandKind::Detail, BandKind::PageFooter,
                           BandKind::ReportFooter})
            prepare(k);
        m_doc.layoutName = m_layout.name;
        m_doc.caption = m_layout.caption;
        m_doc.title = m_title;
        m_doc.pageSize = QSizeF(kPageWidthPt, kPageHeightPt) * kRefPerPoint;
        m_doc.bodyRect = toRef(QRectF(kMarginPt, kMarginPt, kBodyWidthPt, kPageHeightPt - 2 * kMarginPt));
        // The page footer's room is set aside before anything else is placed.
        m_doc.footerTop = m_doc.bodyRect.bottom() - lay(BandKind::PageFooter, -1, 1).height;
        m_emptyPageRoom = m_doc.footerTop - m_doc.bodyRect.top() - lay(BandKind::PageHeader, -1, 1).height;
        for (FontEntry &f : m_fonts)
            m_doc.fonts.append({f.def, f.font, f.ascent, f.lineSpacing});
        startPage();
    }

    void addRow(const QVariantList &row)
    {
        m_row = &row;
        const int index = m_doc.rowCount;
        placeDetail(lay(BandKind::Detail, index, 0), index);
        m_row = nullptr;
        ++m_doc.rowCount;
    }

    void finish()
    {
        if (m_finished)
            return;
        m_finished = true;
        const LaidBand footer = lay(BandKind::ReportFooter, -1, currentNumber());
        if (footer.height > room() + kEps && !pageIsEmpty()) {
            closePage();
            startPage();
        }
        place(footer, -1, 0, false);
        closePage();
    }

    const ReportDocument &document() const { return m_doc; }
    QList<ReportPage> ready;

private:
    void prepare(BandKind k)
    {
        PreparedBand &p = m_bands[int(k)];
        p.band = &m_layout.band(k);
        p.height = p.band->height * kRefPerPoint;
        for (const ReportItem &it : p.band->items) {
            p.font.append(it.isText() ? fontIndex(it.font) : -1);
            p.column.append(it.kind == ItemKind::Field ? m_columns.columnIndex(it.text) : -1);
            p.rect.append(toRef(it.rect));
        }
    }

    int fontIndex(const FontDef &def)
    {
        for (int i = 0; i < int(m_fonts.size()); ++i)
            if (m_fonts[i].def == def)
                return i;
        m_fonts.emplace_back(def);
        return int(m_fonts.size()) - 1;
    }

    QString labelText(const QString &caption, int page) const
    {
        if (!caption.contains(QLatin1Char('%')))
            return caption;
        QString t = caption;
        t.replace(QLatin1String("%d"), m_date);
        t.replace(QLatin1String("%i"), m_title);
        t.replace(QLatin1String("%p"), QString::number(page));
        return t;
    }

    QString itemText(const ReportItem &it, int column, int row, int page) const
    {
        switch (it.kind) {
        case ItemKind::Label:
            return labelText(it.text, page);
        case ItemKind::Field: {
            if (row < 0 || !m_row || column < 0 || column >= m_row->size())
                return {};
            const QVariant &v = m_row->at(column);
            if (it.format != FieldFormat::Date || v.isNull())
                return fieldText(it, v);
            // Many records share a date, and converting one is slow.
            const QString stored = v.toString();
            auto cached = m_dates.constFind(stored);
            if (cached == m_dates.constEnd()) {
                if (m_dates.size() >= 100000) // dates with times of day are nearly all different
                    m_dates.clear();
                cached = m_dates.insert(stored, fieldText(it, v));
            }
            return *cached;
        }
        case ItemKind::Function:
            return QString::number(m_doc.rowCount);
        default:
            return {};
        }
    }

    LaidBand lay(BandKind kind, int row, int page)
    {
        const PreparedBand &p = m_bands[int(kind)];
        const QList<ReportItem> &items = p.band->items;
        LaidBand lb;
        lb.kind = kind;
        lb.height = p.height;
        lb.items.reserve(items.size());
        QList<std::pair<int, qreal>> growth; // (item, extra height)
        for (int i = 0; i < int(items.size()); ++i) {
            const ReportItem &it = items.at(i);
            LaidItem li{i, p.rect.at(i), {}};
            if (it.isText()) {
                FontEntry &f = m_fonts[p.font.at(i)];
                const QString t = itemText(it, p.column.at(i), row, page);
                if (!t.isEmpty()) {
                    li.lines = it.grows ? wrapText(t, li.rect.width(), f) : singleLine(t, li.rect.width(), f);
                    if (it.align != Align::Left)
                        for (TextLine &l : li.lines)
                            l.width = f.fm.horizontalAdvance(l.text);
                }
                const qreal needed = li.lines.size() * f.lineSpacing;
                if (it.grows && needed > li.rect.height() + kEps)
                    growth.append({i, needed - li.rect.height()});
            }
            lb.items.append(std::move(li));
        }
        if (!growth.isEmpty())
            pushDown(lb, growth, items);
        return lb;
    }

    // A grown item pushes down what stands below it and stretches a frame around it.
    static void pushDown(LaidBand &lb, QList<std::pair<int, qreal>> growth, const QList<ReportItem> &items)
    {
        std::sort(growth.begin(), growth.end(), [&](const auto &a, const auto &b) {
            return lb.items[a.first].rect.top() < lb.items[b.first].rect.top();
        });
        // Original rectangles, before anything moves.
        QList<QRectF> orig;
        orig.reserve(lb.items.size());
        for (const LaidItem &li : lb.items)
            orig.append(li.rect);
        QList<qreal> shift(lb.items.size(), 0.0), stretch(lb.items.size(), 0.0);
        for (const auto &[g, extra] : growth) {
            const qreal below = shift[g] + extra;
            stretch[g] += extra;
            for (int j = 0; j < int(lb.items.size()); ++j) {
                if (j == g)
                    continue;
                if (orig[j].top() >= orig[g].bottom() - kEps)
                    shift[j] = std::max(shift[j], below);
                else if (items[j].kind == ItemKind::Shape && orig[j].top() <= orig[g].top() + kEps
                         && orig[j].bottom() >= orig[g].bottom() - kEps)
                    stretch[j] += extra;
            }
        }
        qreal grownBy = 0;
        for (int j = 0; j < int(lb.items.size()); ++j) {
            QRectF &r = lb.items[j].rect;
            r.translate(0, shift[j]);
            r.setHeight(r.height() + stretch[j]);
            grownBy = std::max(grownBy, r.bottom() - orig[j].bottom());
        }
        lb.height += grownBy;
    }

    // Where a band taller than `avail` can be cut: between lines of a text of
    // several lines, or above an item that cannot be cut. 0 when nothing fits.
    qreal cutPosition(const LaidBand &lb, qreal avail) const
    {
        const PreparedBand &p = m_bands[int(lb.kind)];
        qreal cut = avail;
        for (bool changed = true; changed && cut > kEps;) {
            changed = false;
            for (const LaidItem &li : lb.items) {
                const qreal top = li.rect.top(), bottom = li.rect.bottom();
                if (!(top < cut - kEps && bottom > cut + kEps))
                    continue;
                qreal c = top;
                if (li.lines.size() > 1) {
                    const qreal ls = m_fonts[p.font.at(li.source)].lineSpacing;
                    const int k = std::min(int(std::floor((cut - top) / ls + 1e-6)), int(li.lines.size()));
                    c = top + k * ls;
                }
                if (c < cut - kEps) {
                    cut = c;
                    changed = true;
                }
            }
        }
        return std::max(cut, 0.0);
    }

    std::pair<LaidBand, LaidBand> split(const LaidBand &lb, qreal cut) const
    {
        const PreparedBand &p = m_bands[int(lb.kind)];
        LaidBand first{lb.kind, cut, {}}, rest{lb.kind, lb.height - cut, {}};
        for (const LaidItem &li : lb.items) {
            if (li.rect.bottom() <= cut + kEps && !(li.rect.height() <= kEps && li.rect.top() >= cut - kEps)) {
                first.items.append(li);
            } else if (li.rect.top() >= cut - kEps) {
                LaidItem moved = li;
                moved.rect.translate(0, -cut);
                rest.items.append(moved);
            } else {
                const qreal ls = m_fonts[p.font.at(li.source)].lineSpacing;
                const int k = int(std::lround((cut - li.rect.top()) / ls));
                LaidItem head{li.source, QRectF(li.rect.left(), li.rect.top(), li.rect.width(), k * ls),
                              li.lines.mid(0, k)};
                LaidItem tail{li.source, QRectF(li.rect.left(), 0, li.rect.width(), li.rect.height() - k * ls),
                              li.lines.mid(k)};
                if (!head.lines.isEmpty())
                    first.items.append(head);
                rest.items.append(tail);
            }
        }
        return {first, rest};
    }

    void placeDetail(LaidBand lb, int row)
    {
        if (lb.height <= room() + kEps) {
            place(lb, row, 0, false);
            return;
        }
        if (lb.height <= m_emptyPageRoom + kEps && !pageIsEmpty()) {
            closePage();
            startPage();
            place(lb, row, 0, false);
            return;
        }
        // Taller than a page: it starts here and goes on page after page.
        for (int part = 0;; ++part) {
            if (lb.height <= room() + kEps) {
                place(lb, row, part, false);
                return;
            }
            const qreal cut = cutPosition(lb, room());
            if (cut <= kEps) {
                if (pageIsEmpty()) { // cannot be cut at all: let it stand whole
                    place(lb, row, part, false);
                    return;
                }
                closePage();
                startPage();
                --part;
                continue;
            }
            auto [head, tail] = split(lb, cut);
            place(head, row, part, true);
            closePage();
            startPage();
            lb = std::move(tail);
        }
    }

    qreal room() const { return m_doc.footerTop - m_y; }
    bool pageIsEmpty() const { return m_y <= m_contentTop + kEps; }
    int currentNumber() const { return m_page.number; }

    void startPage()
    {
        m_page = ReportPage();
        m_page.number = ++m_pageCount;
        m_y = m_doc.bodyRect.top();
        if (currentNumber() == 1)
            place(lay(BandKind::ReportHeader, -1, 1), -1, 0, false);
        place(lay(BandKind::PageHeader, -1, currentNumber()), -1, 0, false);
        m_contentTop = m_y;
    }

    void closePage()
    {
        m_y = m_doc.footerTop;
        place(lay(BandKind::PageFooter, -1, currentNumber()), -1, 0, false);
        ready.append(std::move(m_page));
        m_page = ReportPage();
    }

    void place(const LaidBand &lb, int row, int part, bool continues)
    {
        ReportPage &page = m_page;
        const PreparedBand &p = m_bands[int(lb.kind)];
        PlacedBand band;
        band.kind = lb.kind;
        band.row = row;
        band.part = part;
        band.continues = continues;
        band.rect = QRectF(m_doc.bodyRect.left(), m_y, m_doc.bodyRect.width(), lb.height);
        band.firstItem = int(page.items.size());
        band.itemCount = int(lb.items.size());
        for (const LaidItem &li : lb.items) {
            const ReportItem &src = p.band->items.at(li.source);
            PlacedItem it;
            it.kind = src.kind;
            it.name = src.name;
            it.rect = li.rect.translated(m_doc.bodyRect.left(), m_y);
            it.font = p.font.at(li.source);
            it.align = src.align;
            it.filled = src.filled;
            it.lines = li.lines;
            page.items.append(std::move(it));
        }
        page.bands.append(band);
        m_y += lb.height;
    }

    const ReportLayout &m_layout;
    db::RowSet m_columns; // the column names only
    const QVariantList *m_row = nullptr;
    const QString m_title;
    const QString m_date;
    std::vector<FontEntry> m_fonts;
    mutable QHash<QString, QString> m_dates;
    std::array<PreparedBand, 5> m_bands;
    ReportDocument m_doc; // without pages
    ReportPage m_page;    // the page being filled
    int m_pageCount = 0;
    bool m_finished = false;
    qreal m_y = 0;
    qreal m_contentTop = 0;
    qreal m_emptyPageRoom = 0;
};

QFont referenceFont(const FontDef &def)
{
    QFont f(def.family);
    f.setPointSizeF(def.pointSize);
    f.setBold(def.bold);
    f.setItalic(def.italic);
    // Hinting would bend advances towards whole pixels of one device.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QString fieldText(const ReportItem &item, const QVariant &value)
{
    if (value.isNull())
        return {};
    switch (item.format) {
    case FieldFormat::Date:
        return dates::toShort(value);
    case FieldFormat::YesNo: {
        // Yes/no columns hold -1 (yes) and 0 (no); they print as the words a
        // check box stands for, "Yes" and "No", rather than the raw numbers.
        const QString s = value.toString().trimmed();
        if (s.isEmpty())
            return {};
        bool isNumber = false;
        const double n = s.toDouble(&isNumber);
        if (isNumber)
            return n != 0 ? QStringLiteral("Yes") : QStringLiteral("No");
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("Yes");
        if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("No");
        return s;
    }
    case FieldFormat::Text:
        break;
    }
    return value.toString();
}

LayoutStream::LayoutStream(const ReportLayout &layout, const QStringList &columns, const QString &title,
                           const QDate &date)
    : d(std::make_unique<Pass>(layout, columns, title, date))
{
}

LayoutStream::~LayoutStream() = default;

void LayoutStream::addRow(const QVariantList &row)
{
    d->addRow(row);
}

void LayoutStream::finish()
{
    d->finish();
}

bool LayoutStream::hasPage() const
{
    return !d->ready.isEmpty();
}

ReportPage LayoutStream::takePage()
{
    return d->ready.takeFirst();
}

const ReportDocument &LayoutStream::document() const
{
    return d->document();
}

ReportDocument layoutReport(const ReportLayout &layout, const db::RowSet &rows, const QString &title, const QDate &date)
{
    LayoutStream stream(layout, rows.columns, title, date);
    ReportDocument doc = stream.document();
    for (const QVariantList &row : rows.rows) {
        stream.addRow(row);
        while (stream.hasPage())
            doc.pages.append(stream.takePage());
    }
    stream.finish();
    while (stream.hasPage())
        doc.pages.append(stream.takePage());
    doc.rowCount = stream.document().rowCount;
    return doc;
}

} // namespace core::reports
