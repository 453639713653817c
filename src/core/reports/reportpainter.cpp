#include "core/reports/reportpainter.h"
#include "core/reports/reportjob.h"

#include <QFileInfo>
#include <QGlyphRun>
#include <QHash>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QSaveFile>
#include <QSet>
#include <QTextLayout>
#include <algorithm>
#include <limits>
#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace core::reports {

namespace {

constexpr qreal kRuleWidthPt = 0.75;

// Qt's PDF engine takes and frees a buffer of megabytes for every page. With
// glibc's default, sliding thresholds that memory goes back to the kernel each
// time and comes back as page faults, which costs more than the drawing itself;
// keeping it in the heap makes long reports about twice as fast to write.
void keepLargeBuffersInHeap()
{
#if defined(__GLIBC__)
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
    });
#endif
}

QPointF lineOrigin(const PlacedItem &it, const TextLine &line, int index, const ResolvedFont &f)
{
    qreal x = it.rect.left();
    if (it.align == Align::Centre)
        x += (it.rect.width() - line.width) / 2;
    else if (it.align == Align::Right)
        x = it.rect.right() - line.width;
    return QPointF(x, it.rect.top() + f.ascent + index * f.lineSpacing);
}

} // namespace

void drawPage(QPainter &painter, const ReportDocument &doc, int index, qreal scale)
{
    if (index >= 0 && index < doc.pages.size())
        drawPage(painter, doc, doc.pages.at(index), scale);
}

// Lines shaped for one painter and device. The same captions, names and values
// come back page after page, and shaping a line is most of what drawing it costs,
// so a line met twice keeps its glyphs. A line drawn from its glyphs lands where
// drawText would put it: both place the glyphs at the rounded origin plus the
// shaped advances.
class ShapedLines
{
public:
    // Valid until the next call.
    const QList<QGlyphRun> &runs(QPainter &painter, const QFont &font, int fontIndex, const QString &text)
    {
        const auto key = std::pair{fontIndex, text};
        if (const auto it = m_runs.constFind(key); it != m_runs.constEnd())
            return *it;
        if (m_runs.size() >= kMaxLines)
            m_runs.clear();
        if (m_seen.size() >= kMaxLines)
            m_seen.clear();
        // Most values are printed once; keeping all of them would only churn.
        if (!m_seen.contains(key)) {
            m_seen.insert(key);
            m_once = shape(painter, font, text);
            return m_once;
        }
        m_seen.remove(key);
        return *m_runs.insert(key, shape(painter, font, text));
    }

    // `font` `grid` times as large, for drawing in units `grid` times as small;
    // nullptr when a font that large cannot be had.
    const QRawFont *onGrid(const QRawFont &font, int grid)
    {
        for (const auto &[normal, large] : m_onGrid)
            if (normal == font)
                return large.isValid() ? &large : nullptr;
        QRawFont large;
        // Font engines count pixels per em in 16 bits.
        if (font.pixelSize() * grid < 32768) {
            large = font;
            large.setPixelSize(font.pixelSize() * grid);
            if (!qFuzzyCompare(large.pixelSize(), font.pixelSize() * grid))
                large = QRawFont();
        }
        m_onGrid.append({font, large});
        return large.isValid() ? &m_onGrid.constLast().second : nullptr;
    }

private:
    static QList<QGlyphRun> shape(QPainter &painter, const QFont &font, const QString &text)
    {
        QTextLayout layout(text, font, painter.device());
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        option.setTextDirection(painter.layoutDirection());
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        line.setLineWidth(std::numeric_limits<int>::max() / 256);
        line.setPosition(QPointF(0, 0));
        layout.endLayout();
        QList<QGlyphRun> runs = layout.glyphRuns();
        // Positions relative to the baseline, as drawText takes its origin.
        const qreal ascent = line.ascent();
        for (QGlyphRun &run : runs) {
            QList<QPointF> at = run.positions();
            for (QPointF &p : at)
                p.ry() -= ascent;
            run.setPositions(at);
        }
        return runs;
    }

    static constexpr int kMaxLines = 20000;
    QHash<std::pair<int, QString>, QList<QGlyphRun>> m_runs;
    QSet<std::pair<int, QString>> m_seen;
    QList<QGlyphRun> m_once;
    QList<std::pair<QRawFont, QRawFont>> m_onGrid;
};

namespace {

// Glyphs of one font gathered over a page. Qt's PDF engine wraps every run it is
// given in a saved state, a colour and a text object; one run per font and page
// writes those once instead of once per line.
struct GlyphBatch
{
    QRawFont font;
    QList<quint32> glyphs;
    QList<QPointF> positions;
};

void addRuns(QList<GlyphBatch> &batches, const QList<QGlyphRun> &runs, const QPointF &origin)
{
    for (const QGlyphRun &run : runs) {
        const QRawFont font = run.rawFont();
        auto it = std::find_if(batches.begin(), batches.end(), [&](const GlyphBatch &b) { return b.font == font; });
        if (it == batches.end())
            it = batches.insert(batches.end(), GlyphBatch{font, {}, {}});
        it->glyphs.append(run.glyphIndexes());
        // The same sum drawGlyphRun(origin, run) would take, so the glyphs land on
        // the same points.
        for (const QPointF &p : run.positions())
            it->positions.append(origin + p);
    }
}

// Qt's PDF engine writes each glyph's offset from the one before with nine digits,
// so over a page-long run the rounding of offsets of thousands of units adds up.
// Drawn in 1/64 units (where a glyph lands anyway) the offsets are whole numbers
// and every glyph lands exactly where a run of its own line would put it.
constexpr int kGlyphGrid = 64;

void drawBatches(QPainter &painter, const QList<GlyphBatch> &batches, ShapedLines &shaped)
{
    for (const GlyphBatch &b : batches) {
        QGlyphRun run;
        run.setGlyphIndexes(b.glyphs);
        const QRawFont *large = shaped.onGrid(b.font, kGlyphGrid);
        if (!large) {
            run.setRawFont(b.font);
            run.setPositions(b.positions);
            painter.drawGlyphRun(QPointF(0, 0), run);
            continue;
        }
        QList<QPointF> at;
        at.reserve(b.positions.size());
        // Cut towards zero to the grid, as the painter does with a glyph's position.
        for (const QPointF &p : b.positions)
            at.append(QPointF(int(p.x() * kGlyphGrid), int(p.y() * kGlyphGrid)));
        run.setRawFont(*large);
        run.setPositions(at);
        painter.save();
        painter.scale(1.0 / kGlyphGrid, 1.0 / kGlyphGrid);
        painter.drawGlyphRun(QPointF(0, 0), run);
        painter.restore();
    }
}

void drawPageWith(QPainter &painter, const ReportDocument &doc, const ReportPage &page, qreal scale,
                  ShapedLines *shaped)
{
    painter.save();
    painter.scale(scale, scale);

    // A font's size is resolved against the device's resolution and then scaled
    // with everything else; sizing it for the reference resolution keeps the
    // glyphs as large as the layout pass measured them.
    const qreal deviceDpi = painter.device() ? painter.device()->logicalDpiY() : kReferenceDpi;
    QList<QFont> fonts;
    fonts.reserve(doc.fonts.size());
    for (const ResolvedFont &rf : doc.fonts) {
        QFont f = rf.font;
        f.setPointSizeF(rf.def.pointSize * kReferenceDpi / deviceDpi);
        fonts.append(f);
    }

    const QPen pen(Qt::black, kRuleWidthPt * kRefPerPoint, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    int current = -1;
    QList<GlyphBatch> batches;
    for (const PlacedItem &it : page.items) {
        switch (it.kind) {
        case ItemKind::Line:
            painter.drawLine(QPointF(it.rect.left(), it.rect.top()), QPointF(it.rect.right(), it.rect.top()));
            break;
        case ItemKind::Shape:
            if (it.filled)
                painter.fillRect(it.rect, Qt::black);
            else
                painter.drawRect(it.rect);
            break;
        case ItemKind::Label:
        case ItemKind::Field:
        case ItemKind::Function:
            if (it.lines.isEmpty() || it.font < 0 || it.font >= fonts.size())
                break;
            for (int i = 0; i < int(it.lines.size()); ++i) {
                const TextLine &line = it.lines.at(i);
                if (line.text.isEmpty())
                    continue;
                const QPointF origin = lineOrigin(it, line, i, doc.fonts.at(it.font));
                if (shaped) {
                    addRuns(batches, shaped->runs(painter, fonts.at(it.font), it.font, line.text), origin);
                    continue;
                }
                if (it.font != current) {
                    painter.setFont(fonts.at(it.font));
                    current = it.font;
                }
                painter.drawText(origin, line.text);
            }
            break;
        }
    }
    // Everything is black, so text drawn after the rules and frames looks the same.
    if (shaped)
        drawBatches(painter, batches, *shaped);
    painter.restore();
}

} // namespace

void drawPage(QPainter &painter, const ReportDocument &doc, const ReportPage &page, qreal scale)
{
    drawPageWith(painter, doc, page, scale, nullptr);
}

PagePainter::PagePainter(QPagedPaintDevice *device)
    : m_device(device)
    , m_shaped(std::make_unique<ShapedLines>())
{
}

PagePainter::~PagePainter()
{
    if (m_painter && m_painter->isActive())
        m_painter->end();
}

bool PagePainter::paint(const ReportDocument &doc, const ReportPage &page, Failure *why)
{
    const auto failed = [why](const QString &sentence) { return fail(why, Failure::plain(sentence)); };
    if (!m_device)
        return failed(QStringLiteral("There is nothing to print on."));
    if (!m_painter) {
        keepLargeBuffersInHeap();
        m_painter = std::make_unique<QPainter>();
        if (!m_painter->begin(m_device))
            return failed(QStringLiteral("The output could not be opened for printing."));
        m_painter->setRenderHint(QPainter::Antialiasing);
        m_painter->setRenderHint(QPainter::TextAntialiasing);
        // Our coordinates start at the paper's corner; a device with margins starts
        // its painter at the margin.
        const int dpi = m_device->logicalDpiX();
        m_painter->translate(-m_device->pageLayout().paintRectPixels(dpi).topLeft());
        m_scale = dpi / kReferenceDpi;
    } else if (!m_painter->isActive()) {
        return failed(QStringLiteral("The output could not be opened for printing."));
    } else if (!m_device->newPage()) {
        m_painter->end();
        return failed(QStringLiteral("A new page could not be started."));
    }
    drawPageWith(*m_painter, doc, page, m_scale, m_shaped.get());
    ++m_pages;
    return true;
}

bool PagePainter::finish(Failure *why)
{
    if (!m_painter || !m_painter->isActive())
        return fail(why, Failure::plain(QStringLiteral("The output could not be opened for printing.")));
    if (!m_painter->end())
        return fail(why, Failure::plain(QStringLiteral("The output could not be completed.")));
    return true;
}

bool paintDocument(const ReportDocument &doc, QPagedPaintDevice *device, Failure *why)
{
    PagePainter out(device);
    for (const ReportPage &page : doc.pages)
        if (!out.paint(doc, page, why))
            return false;
    return out.finish(why);
}

bool writePdf(const ReportDocument &doc, const QString &path, Failure *why)
{
    return writePdf(
        path, pdfTitle(doc.caption, doc.title),
        [&](QPagedPaintDevice *device, Failure *f) { return paintDocument(doc, device, f); }, why);
}

} // namespace core::reports
