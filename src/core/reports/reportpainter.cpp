#include "core/reports/reportpainter.h"

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
    if (index < 0 || index >= doc.pages.size())
        return;
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
    for (const PlacedItem &it : doc.pages.at(index).items) {
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

bool paintDocument(const ReportDocument &doc, QPagedPaintDevice *device, Failure *why)
{
    const auto failed = [why](const QString &sentence) { return fail(why, Failure::plain(sentence)); };
    if (!device)
        return failed(QStringLiteral("There is nothing to print on."));
    keepLargeBuffersInHeap();
    QPainter painter;
    if (!painter.begin(device))
        return failed(QStringLiteral("The output could not be opened for printing."));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // Our coordinates start at the paper's corner; a device with margins starts
    // its painter at the margin.
    const int dpi = device->logicalDpiX();
    const QPoint origin = device->pageLayout().paintRectPixels(dpi).topLeft();
    painter.translate(-origin);
    const qreal scale = dpi / kReferenceDpi;
    for (int i = 0; i < int(doc.pages.size()); ++i) {
        if (i > 0 && !device->newPage()) {
            painter.end();
            return failed(QStringLiteral("A new page could not be started."));
        }
        drawPage(painter, doc, i, scale);
    }
    if (!painter.end())
        return failed(QStringLiteral("The output could not be completed."));
    return true;
}

bool writePdf(const ReportDocument &doc, const QString &path, Failure *why)
{
    QSaveFile file(path);
    const auto notWritten = [&] {
        return fail(
            why,
            Failure::plain(
                QStringLiteral("%1 cannot be written: %2").arg(QFileInfo(path).fileName(), file.errorString())));
    };
    if (!file.open(QIODevice::WriteOnly))
        return notWritten();
    {
        QPdfWriter pdf(&file);
        pdf.setResolution(int(kReferenceDpi));
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait, QMarginsF()));
        pdf.setTitle(doc.title.trimmed().isEmpty() ? doc.caption : doc.caption + QStringLiteral(": ") + doc.title);
        pdf.setCreator(QStringLiteral("Quillbern"));
        if (!paintDocument(doc, &pdf, why)) {
            file.cancelWriting();
            return false;
        }
    }
    if (!file.commit())
        return notWritten();
    return true;
}

} // namespace core::reports
