#pragma once
#include "core/app/failure.h"
#include "core/reports/layoutpass.h"

#include <QString>

class QPainter;
class QPagedPaintDevice;

// Draws laid-out pages. Positions and line breaks come from the layout pass; the
// painter only scales them from the reference resolution to the device.
namespace core::reports {

// Draws page `index` with the painter's current origin at the paper's top-left
// corner; `scale` is device pixels per reference unit.
void drawPage(QPainter &painter, const ReportDocument &doc, int index, qreal scale);

// Every page on a paged device (printer, PDF writer), a new page between pages.
// False when the device cannot be painted on.
bool paintDocument(const ReportDocument &doc, QPagedPaintDevice *device, Failure *why = nullptr);

// The document as a PDF file, written whole or not at all.
bool writePdf(const ReportDocument &doc, const QString &path, Failure *why = nullptr);

} // namespace core::reports
