#pragma once
#include "core/app/failure.h"
#include "core/reports/layoutpass.h"

#include <QString>
#include <memory>

class QPainter;
class QPagedPaintDevice;

// Draws laid-out pages. Positions and line breaks come from the layout pass; the
// painter only scales them from the reference resolution to the device.
namespace core::reports {

class ShapedLines;

// Draws page `index` with the painter's current origin at the paper's top-left
// corner; `scale` is device pixels per reference unit.
void drawPage(QPainter &painter, const ReportDocument &doc, int index, qreal scale);

void drawPage(QPainter &painter, const ReportDocument &doc, const ReportPage &page, qreal scale);

// Paints pages one after another on a paged device as they arrive, so that a long
// report never has to be held whole. The painter begins on the first page.
class PagePainter
{
public:
    explicit PagePainter(QPagedPaintDevice *device);
    ~PagePainter();
    PagePainter(const PagePainter &) = delete;
    PagePainter &operator=(const PagePainter &) = delete;

    bool paint(const ReportDocument &doc, const ReportPage &page, Failure *why = nullptr);
    // Ends the output; false when the device reports a failure.
    bool finish(Failure *why = nullptr);
    int pages() const { return m_pages; }

private:
    QPagedPaintDevice *m_device;
    std::unique_ptr<QPainter> m_painter;
    std::unique_ptr<ShapedLines> m_shaped;
    qreal m_scale = 1;
    int m_pages = 0;
};

// Every page on a paged device (printer, PDF writer), a new page between pages.
// False when the device cannot be painted on.
bool paintDocument(const ReportDocument &doc, QPagedPaintDevice *device, Failure *why = nullptr);

// The document as a PDF file, written whole or not at all.
bool writePdf(const ReportDocument &doc, const QString &path, Failure *why = nullptr);

} // namespace core::reports
