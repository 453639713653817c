#pragma once
#include "core/reports/layoutpass.h"
#include "ui/common/corenames.h"

#include <QMainWindow>
#include <QWidget>

class QAction;
class QComboBox;
class QLabel;
class QScrollArea;
class QSpinBox;

namespace ui {

// One page of a laid-out report on screen, at a zoom.
class PageView : public QWidget
{
    Q_OBJECT
public:
    explicit PageView(QWidget *parent = nullptr);
    void setDocument(const ReportDocument *doc);
    void setPage(int index);
    void setZoom(qreal zoom); // 1.0 is the paper's real size on this screen
    qreal zoom() const { return m_zoom; }
    // The page at zoom 1.0, in this widget's pixels.
    QSizeF paperSize() const;
    static constexpr int kMargin = 16;

signals:
    void zoomStepRequested(int steps);

protected:
    void paintEvent(QPaintEvent *) override;
    void wheelEvent(QWheelEvent *e) override;

private:
    void updateSize();
    const ReportDocument *m_doc = nullptr;
    int m_page = 0;
    qreal m_zoom = 1.0;
};

// The modeless preview window: page through, zoom, print, save as PDF.
class ReportPreview : public QMainWindow
{
    Q_OBJECT
public:
    explicit ReportPreview(QWidget *parent = nullptr);

    // Shows a new document from its first page; the window caption is the report's.
    void setDocument(ReportDocument doc);
    const ReportDocument &document() const { return m_doc; }
    int currentPage() const { return m_page; } // from 0
    int pageCount() const { return int(m_doc.pages.size()); }
    qreal zoom() const;

public slots:
    void showPage(int index);
    void nextPage() { showPage(m_page + 1); }
    void previousPage() { showPage(m_page - 1); }
    void firstPage() { showPage(0); }
    void lastPage() { showPage(pageCount() - 1); }
    void zoomIn() { stepZoom(1); }
    void zoomOut() { stepZoom(-1); }
    void printReport();
    void saveReport();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Fit { None, Width, Page };
    void stepZoom(int steps);
    void applyZoomChoice(int comboIndex);
    void applyFit();
    void updateControls();
    QAction *makeAction(const QString &objectName, const QString &text, const QIcon &icon,
                        const QList<QKeySequence> &keys);

    ReportDocument m_doc;
    int m_page = 0;
    Fit m_fit = Fit::Width;
    PageView *m_view = nullptr;
    QScrollArea *m_scroll = nullptr;
    QSpinBox *m_pageBox = nullptr;
    QLabel *m_pageCount = nullptr;
    QComboBox *m_zoomBox = nullptr;
    QAction *m_first = nullptr, *m_previous = nullptr, *m_next = nullptr, *m_last = nullptr;
    QAction *m_zoomIn = nullptr, *m_zoomOut = nullptr;
};

} // namespace ui
