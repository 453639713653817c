#include "core/reports/reportpainter.h"
#include "core/reports/reportjob.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
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

void drawPage(QPainter &painter, const ReportDocument &doc, const ReportPage &page, qreal scale)
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
            if (it.font != current) {
                painter.setFont(fonts.at(it.font));
                current = it.font;
            }
            for (int i = 0; i < int(it.lines.size()); ++i) {
                const TextLine &line = it.lines.at(i);
                if (!line.text.isEmpty())
                    painter.drawText(lineOrigin(it, line, i, doc.fonts.at(it.font)), line.text);
            }
            break;
        }
    }
    painter.restore();
}

PagePainter::PagePainter(QPagedPaintDevice *device)
    : m_device(device)
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
    drawPage(*m_painter, doc, page, m_scale);
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
