#pragma once
#include "core/reports/layoutpass.h"
#include "core/reports/reportjob.h"
#include "ui/common/corenames.h"

#include <QMainWindow>
#include <QWidget>
#include <atomic>
#include <limits>
#include <map>
#include <memory>
#include <optional>

class QAction;
class QComboBox;
class QLabel;
class QScrollArea;
class QSpinBox;
class QThread;

namespace ui {

class PreviewPages;
struct PreviewDelivery;

// One page of a laid-out report on screen, at a zoom.
class PageView : public QWidget
{
    Q_OBJECT
public:
    explicit PageView(QWidget *parent = nullptr);
    // The report's sizes and fonts (its pages are not needed), then the page shown.
    void setDocument(const ReportDocument &doc);
    void setPage(const ReportPage &page);
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
    ReportDocument m_doc;
    std::optional<ReportPage> m_page;
    qreal m_zoom = 1.0;
};

// The modeless preview window: page through, zoom, print, save as PDF.
class ReportPreview : public QMainWindow
{
    Q_OBJECT
public:
    explicit ReportPreview(QWidget *parent = nullptr);

    ~ReportPreview() override;

    // Shows a report from its first page. Pages are laid out as the user moves to
    // them and only those near the one shown are kept; the pages are counted
    // meanwhile on a worker thread, by a layout pass that keeps none.
    void setJob(const ReportJob &job);
    // The report's sizes and fonts; rowCount counts the rows laid out so far.
    const ReportDocument &document() const;
    int currentPage() const { return m_page; } // from 0
    // Every page once counted; until then the pages laid out so far.
    int pageCount() const { return m_count.value_or(m_laidOut); }
    bool pageCountKnown() const { return m_count.has_value(); }
    const ReportPage *shownPage() const { return m_shown ? &*m_shown : nullptr; }
    int keptPages() const { return int(m_pages.size()); }
    static constexpr int kKeptPages = 8;
    // How long the window waits for a page before it leaves it to come later: until
    // `pages` have been laid out and `ms` have gone by, so a short report shows at once.
    static void setPatience(int pages, int ms);
    qreal zoom() const;

public slots:
    void showPage(int index);
    void nextPage() { showPage(m_page + 1); }
    void previousPage() { showPage(m_page - 1); }
    void firstPage() { showPage(0); }
    void lastPage() { showPage(m_count ? *m_count - 1 : std::numeric_limits<int>::max()); }
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

    const ReportPage *pageAt(int index);
    void receive(PreviewDelivery &&d);
    void pagesArrived(int generation);
    void startCounting();
    void stopCounting();

    ReportJob m_job;
    std::unique_ptr<PreviewPages> m_pagesOut;
    int m_generation = 0; // of m_pagesOut, so that pages of a job before are not taken
    std::optional<ReportDocument> m_doc;
    std::optional<int> m_pending;      // asked for, shown when it has been laid out
    std::map<int, ReportPage> m_pages; // laid out, near the page shown
    std::optional<ReportPage> m_shown;
    int m_laidOut = 0; // pages the worker has laid out
    std::optional<int> m_count;
    std::unique_ptr<QThread> m_counter;
    std::shared_ptr<std::atomic<bool>> m_stopCounting;
    bool m_saidUnreadable = false;
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
