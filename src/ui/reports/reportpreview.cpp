#include "ui/reports/reportpreview.h"

#include "core/app/loopthread.h"
#include "core/reports/reportpainter.h"
#include "ui/common/services.h"
#include "ui/reports/reportoutput.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

namespace ui {

namespace {

const qreal kZoomSteps[] = {0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};
constexpr int kFitWidthChoice = 0;
constexpr int kFitPageChoice = 1;
constexpr int kFirstStepChoice = 2;
int s_waitPages = 20, s_waitMs = 100;

} // namespace

PageView::PageView(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Report page"));
}

void PageView::setDocument(const ReportDocument &doc)
{
    m_doc = doc;
    m_doc.pages.clear();
    m_page.reset();
    updateSize();
    update();
}

void PageView::setPage(const ReportPage &page)
{
    m_page = page;
    update();
}

void PageView::setZoom(qreal zoom)
{
    m_zoom = std::clamp(zoom, 0.1, 8.0);
    updateSize();
    update();
}

QSizeF PageView::paperSize() const
{
    const QSizeF ref = m_doc.pageSize.isEmpty() ? QSizeF(kPageWidthPt, kPageHeightPt) * kRefPerPoint : m_doc.pageSize;
    return QSizeF(ref.width() * logicalDpiX() / kReferenceDpi, ref.height() * logicalDpiY() / kReferenceDpi);
}

void PageView::updateSize()
{
    const QSizeF paper = paperSize() * m_zoom;
    setFixedSize(qCeil(paper.width()) + 2 * kMargin, qCeil(paper.height()) + 2 * kMargin);
}

void PageView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QColor desk = palette().color(QPalette::Dark).darker(115);
    p.fillRect(rect(), desk);
    const QSizeF paper = paperSize() * m_zoom;
    const QRectF sheet(kMargin, kMargin, paper.width(), paper.height());
    p.fillRect(sheet.translated(3, 3), QColor(0, 0, 0, 70));
    p.fillRect(sheet, Qt::white);
    p.setPen(QColor(0, 0, 0, 90));
    p.drawRect(sheet.adjusted(-0.5, -0.5, 0.5, 0.5));
    if (!m_page)
        return;
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setClipRect(sheet);
    p.translate(sheet.topLeft());
    drawPage(p, m_doc, *m_page, m_zoom * logicalDpiX() / kReferenceDpi);
}

void PageView::wheelEvent(QWheelEvent *e)
{
    if (e->modifiers() & Qt::ControlModifier) {
        const int steps = e->angleDelta().y() > 0 ? 1 : (e->angleDelta().y() < 0 ? -1 : 0);
        if (steps)
            emit zoomStepRequested(steps);
        e->accept();
        return;
    }
    QWidget::wheelEvent(e);
}

namespace {

// Where the desktop has no icon theme, a printer drawn in the palette's text colour,
// so that Print looks like its neighbours.
QIcon printerIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        const QColor ink = QGuiApplication::palette().color(QPalette::WindowText);
        p.setPen(QPen(ink, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(4.5, 1.5, 7, 4)); // paper going in
        p.setBrush(ink);
        p.drawRoundedRect(QRectF(1.5, 5.5, 13, 6), 1.2, 1.2); // body
        p.setBrush(QGuiApplication::palette().color(QPalette::Base));
        p.drawRect(QRectF(4.5, 9.5, 7, 5)); // page coming out
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace

ReportPreview::ReportPreview(QWidget *parent)
    : QMainWindow(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("ReportPreview"));

    QStyle *st = style();
    m_first = makeAction(QStringLiteral("actFirstPage"), QStringLiteral("First Page"),
                         st->standardIcon(QStyle::SP_MediaSkipBackward),
                         {QKeySequence(Qt::CTRL | Qt::Key_Home), QKeySequence(Qt::Key_Home)});
    m_previous = makeAction(QStringLiteral("actPreviousPage"), QStringLiteral("Previous Page"),
                            st->standardIcon(QStyle::SP_MediaSeekBackward), {QKeySequence(Qt::Key_PageUp)});
    m_next = makeAction(QStringLiteral("actNextPage"), QStringLiteral("Next Page"),
                        st->standardIcon(QStyle::SP_MediaSeekForward), {QKeySequence(Qt::Key_PageDown)});
    m_last = makeAction(QStringLiteral("actLastPage"), QStringLiteral("Last Page"),
                        st->standardIcon(QStyle::SP_MediaSkipForward),
                        {QKeySequence(Qt::CTRL | Qt::Key_End), QKeySequence(Qt::Key_End)});
    m_zoomOut = makeAction(QStringLiteral("actZoomOut"), QStringLiteral("Zoom Out"),
                           QIcon::fromTheme(QStringLiteral("zoom-out")), {QKeySequence::ZoomOut});
    m_zoomIn = makeAction(QStringLiteral("actZoomIn"), QStringLiteral("Zoom In"),
                          QIcon::fromTheme(QStringLiteral("zoom-in")),
                          {QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    QAction *print
        = makeAction(QStringLiteral("actPrint"), QStringLiteral("Print"),
                     QIcon::fromTheme(QStringLiteral("document-print"), printerIcon()), {QKeySequence::Print});
    QAction *save = makeAction(QStringLiteral("actSavePdf"), QStringLiteral("Save as PDF"),
                               st->standardIcon(QStyle::SP_DialogSaveButton), {QKeySequence::Save});
    QAction *close = makeAction(QStringLiteral("actClose"), QStringLiteral("Close"),
                                st->standardIcon(QStyle::SP_DialogCloseButton),
                                {QKeySequence(Qt::Key_Escape), QKeySequence::Close});
    if (m_zoomOut->icon().isNull())
        m_zoomOut->setText(QStringLiteral("\u2212"));
    if (m_zoomIn->icon().isNull())
        m_zoomIn->setText(QStringLiteral("+"));
    m_zoomOut->setToolTip(QStringLiteral("Zoom Out (%1)").arg(QKeySequence(QKeySequence::ZoomOut).toString()));
    m_zoomIn->setToolTip(QStringLiteral("Zoom In (%1)").arg(QKeySequence(QKeySequence::ZoomIn).toString()));

    connect(m_first, &QAction::triggered, this, &ReportPreview::firstPage);
    connect(m_previous, &QAction::triggered, this, &ReportPreview::previousPage);
    connect(m_next, &QAction::triggered, this, &ReportPreview::nextPage);
    connect(m_last, &QAction::triggered, this, &ReportPreview::lastPage);
    connect(m_zoomIn, &QAction::triggered, this, &ReportPreview::zoomIn);
    connect(m_zoomOut, &QAction::triggered, this, &ReportPreview::zoomOut);
    connect(print, &QAction::triggered, this, &ReportPreview::printReport);
    connect(save, &QAction::triggered, this, &ReportPreview::saveReport);
    connect(close, &QAction::triggered, this, &QWidget::close);

    m_pageBox = new QSpinBox;
    m_pageBox->setObjectName(QStringLiteral("spnPage"));
    m_pageBox->setAccessibleName(QStringLiteral("Page"));
    m_pageBox->setButtonSymbols(QAbstractSpinBox::NoButtons);
    m_pageBox->setAlignment(Qt::AlignRight);
    m_pageBox->setKeyboardTracking(false);
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int v) { showPage(v - 1); });
    m_pageCount = new QLabel;
    m_pageCount->setObjectName(QStringLiteral("lblPageCount"));

    m_zoomBox = new QComboBox;
    m_zoomBox->setObjectName(QStringLiteral("cboZoom"));
    m_zoomBox->setAccessibleName(QStringLiteral("Zoom"));
    m_zoomBox->addItem(QStringLiteral("Fit Width"));
    m_zoomBox->addItem(QStringLiteral("Whole Page"));
    for (qreal z : kZoomSteps)
        m_zoomBox->addItem(QStringLiteral("%1%").arg(qRound(z * 100)));
    m_zoomBox->setCurrentIndex(kFitWidthChoice);
    connect(m_zoomBox, &QComboBox::activated, this, &ReportPreview::applyZoomChoice);

    QToolBar *bar = addToolBar(QStringLiteral("Preview"));
    bar->setObjectName(QStringLiteral("tbPreview"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setEnabled(false);
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->addAction(m_first);
    bar->addAction(m_previous);
    auto *pageLabel = new QLabel(QStringLiteral(" Page "));
    pageLabel->setBuddy(m_pageBox);
    bar->addWidget(pageLabel);
    bar->addWidget(m_pageBox);
    bar->addWidget(m_pageCount);
    bar->addAction(m_next);
    bar->addAction(m_last);
    bar->addSeparator();
    bar->addAction(m_zoomOut);
    bar->addWidget(m_zoomBox);
    bar->addAction(m_zoomIn);
    bar->addSeparator();
    bar->addAction(print);
    bar->addAction(save);
    auto *spacer = new QWidget;
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    bar->addAction(close);
    for (QAction *a : {print, save, close})
        if (auto *b = qobject_cast<QToolButton *>(bar->widgetForAction(a)))
            b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    for (QAction *a : {m_zoomIn, m_zoomOut})
        if (a->icon().isNull())
            if (auto *b = qobject_cast<QToolButton *>(bar->widgetForAction(a)))
                b->setToolButtonStyle(Qt::ToolButtonTextOnly);

    m_view = new PageView;
    m_view->setObjectName(QStringLiteral("pageView"));
    connect(m_view, &PageView::zoomStepRequested, this, &ReportPreview::stepZoom);
    m_scroll = new QScrollArea;
    m_scroll->setObjectName(QStringLiteral("scrollPage"));
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidget(m_view);
    m_scroll->viewport()->installEventFilter(this);
    setCentralWidget(m_scroll);
    m_view->setFocus();

    const QRect avail = screen() ? screen()->availableGeometry() : QRect(0, 0, 1280, 1024);
    resize(std::min(900, avail.width() * 9 / 10), std::min(1000, avail.height() * 9 / 10));
    updateControls();
}

QAction *ReportPreview::makeAction(const QString &objectName, const QString &text, const QIcon &icon,
                                   const QList<QKeySequence> &keys)
{
    auto *a = new QAction(icon, text, this);
    a->setObjectName(objectName);
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    if (!keys.isEmpty())
        a->setToolTip(QStringLiteral("%1 (%2)").arg(text, keys.first().toString(QKeySequence::NativeText)));
    QWidget::addAction(a);
    return a;
}

// Lays out the preview's pages on a worker thread, the last few kept, so that a
// page far ahead (the last of a long report) never holds up the window. Pages come
// out in order only: an earlier page no longer kept is laid out again from the start.
struct PreviewDelivery
{
    int asked = 0;
    std::map<int, ReportPage> pages; // the last ones laid out, up to the one asked for
    ReportDocument document;         // sizes and fonts; rowCount so far
    int laidOut = 0;
    std::optional<int> count; // once the end has been met
    std::optional<Failure> failure;
};

class PreviewPages
{
public:
    using Delivery = PreviewDelivery;

    PreviewPages(const ReportJob &job, std::function<void()> arrived)
        : m_job(job)
        , m_arrived(std::move(arrived))
        , m_loop([this] { run(); })
    {
        m_loop.start();
    }

    // Asks for page `index`. Waits while the worker gets there quickly; otherwise
    // the pages arrive later, announced by `arrived`.
    std::optional<Delivery> ask(int index)
    {
        std::unique_lock lock(m_loop.mutex);
        m_wanted = index;
        m_served = -1; // a page asked for again is handed over again
        m_ready.reset();
        m_loop.wake.notify_all();
        const int from = m_laidOut;
        QElapsedTimer waited;
        waited.start();
        // A short report is always shown at once; a long way ahead is left to the worker.
        while (!m_ready && waited.elapsed() < kMostWaitMs
               && (m_laidOut - from < s_waitPages || waited.elapsed() < s_waitMs))
            m_loop.wake.wait_for(lock, std::chrono::milliseconds(5));
        return take(lock);
    }

    std::optional<Delivery> take()
    {
        std::unique_lock lock(m_loop.mutex);
        return take(lock);
    }

private:
    static constexpr int kMostWaitMs = 2000; // a read held up, e.g. by a slow server

    std::optional<Delivery> take(std::unique_lock<std::mutex> &)
    {
        std::optional<Delivery> d = std::move(m_ready);
        m_ready.reset();
        return d;
    }

    void run()
    {
        std::unique_ptr<PageStream> stream;
        std::map<int, ReportPage> kept;
        int at = 0;
        bool ended = false;
        Failure why;
        std::unique_lock lock(m_loop.mutex);
        for (;;) {
            m_loop.wake.wait(lock, [this] { return m_loop.stop || m_wanted != m_served; });
            if (m_loop.stop)
                return;
            const int target = m_wanted;
            lock.unlock();
            if (!stream || (target < at && !kept.count(target))) {
                stream = std::make_unique<PageStream>(m_job);
                kept.clear();
                at = 0;
                ended = false;
            }
            if (!ended && at <= target) { // one page, then look at the request again
                std::optional<ReportPage> page = stream->next(&why);
                lock.lock();
                if (!page)
                    ended = true;
                else {
                    kept.emplace(at++, std::move(*page));
                    if (int(kept.size()) > ReportPreview::kKeptPages)
                        kept.erase(kept.begin());
                    m_laidOut = at;
                }
                m_loop.wake.notify_all();
                continue;
            }
            Delivery d;
            d.asked = target;
            d.pages = kept;
            d.document = stream->document();
            d.document.pages.clear();
            d.laidOut = at;
            if (ended && !stream->failed())
                d.count = at;
            if (stream->failed())
                d.failure = why;
            lock.lock();
            if (m_wanted != target)
                continue; // asked for another page meanwhile
            m_ready = std::move(d);
            m_served = target;
            m_loop.wake.notify_all();
            m_arrived();
        }
    }

    const ReportJob m_job;
    const std::function<void()> m_arrived; // called on the worker
    int m_wanted = -1, m_served = -1, m_laidOut = 0;
    std::optional<Delivery> m_ready;
    core::LoopThread m_loop; // last: started once the rest is set up
};

ReportPreview::~ReportPreview()
{
    stopCounting();
    m_pagesOut.reset();
}

void ReportPreview::setJob(const ReportJob &job)
{
    stopCounting();
    m_job = job;
    // Deliveries queued for the job before are dropped: the window waits for the old
    // worker, and a call queued for a worker that has gone is matched by none.
    m_pagesOut = std::make_unique<PreviewPages>(job, [this, gen = ++m_generation] {
        QMetaObject::invokeMethod(
            this, [this, gen] { pagesArrived(gen); }, Qt::QueuedConnection);
    });
    m_pages.clear();
    m_shown.reset();
    m_doc.reset();
    m_laidOut = 0;
    m_count.reset();
    m_pending.reset();
    m_saidUnreadable = false;
    const ReportLayout &layout = job.layout ? *job.layout : DrpListofPickups();
    setWindowTitle(layout.caption);
    m_page = -1;
    showPage(0);
    applyFit();
    startCounting();
}

void ReportPreview::setPatience(int pages, int ms)
{
    s_waitPages = pages;
    s_waitMs = ms;
}

const ReportDocument &ReportPreview::document() const
{
    static const ReportDocument none;
    return m_doc ? *m_doc : none;
}

void ReportPreview::receive(PreviewDelivery &&d)
{
    if (!m_doc)
        m_view->setDocument(d.document);
    m_doc = std::move(d.document);
    m_laidOut = d.laidOut;
    if (d.count)
        m_count = d.count;
    if (d.failure && !std::exchange(m_saidUnreadable, true))
        message(QStringLiteral("The report could not be read. ") + d.failure->description, QString(),
                QMessageBox::Warning);
    m_pages.merge(d.pages);
    // Keep the pages nearest the one asked for.
    while (int(m_pages.size()) > kKeptPages) {
        const int first = m_pages.begin()->first, last = m_pages.rbegin()->first;
        m_pages.erase(d.asked - first > last - d.asked ? m_pages.begin() : std::prev(m_pages.end()));
    }
}

void ReportPreview::pagesArrived(int generation)
{
    if (generation != m_generation)
        return;
    if (std::optional<PreviewPages::Delivery> d = m_pagesOut->take())
        receive(std::move(*d));
    if (m_pending && (m_pages.count(*m_pending) || (m_count && *m_pending >= *m_count) || m_saidUnreadable)) {
        const int index = *std::exchange(m_pending, std::nullopt);
        m_view->unsetCursor();
        showPage(index);
    }
}

const ReportPage *ReportPreview::pageAt(int index)
{
    if (!m_pages.count(index))
        if (std::optional<PreviewPages::Delivery> d = m_pagesOut->ask(index))
            receive(std::move(*d));
    const auto it = m_pages.find(index);
    return it == m_pages.end() ? nullptr : &it->second;
}

void ReportPreview::startCounting()
{
    auto stop = std::make_shared<std::atomic<bool>>(false);
    m_stopCounting = stop;
    m_counter.reset(QThread::create([this, job = m_job, stop] {
        PageStream pages(job);
        int n = 0;
        while (!stop->load() && pages.next())
            ++n;
        if (stop->load() || pages.failed())
            return;
        // Delivered on the window's thread; the window waits for this thread before
        // it goes, and a call queued for a window that has gone is dropped.
        QMetaObject::invokeMethod(
            this,
            [this, stop, n] {
                if (stop->load() || m_count)
                    return;
                m_count = n;
                updateControls();
            },
            Qt::QueuedConnection);
    }));
    m_counter->start(QThread::LowPriority);
}

void ReportPreview::stopCounting()
{
    if (m_stopCounting)
        m_stopCounting->store(true);
    if (m_counter)
        m_counter->wait();
    m_counter.reset();
    m_stopCounting.reset();
}

qreal ReportPreview::zoom() const
{
    return m_view->zoom();
}

void ReportPreview::showPage(int index)
{
    index = std::max(index, 0);
    if (m_count)
        index = std::min(index, std::max(*m_count - 1, 0));
    const ReportPage *page = pageAt(index);
    if (!page && m_count && *m_count > 0 && index >= *m_count) { // past the last page: the last one
        index = *m_count - 1;
        page = pageAt(index);
    }
    if (!page && !m_saidUnreadable && m_count != 0) { // still being laid out: shown when it comes
        m_pending = index;
        m_view->setCursor(Qt::BusyCursor);
        updateControls();
        return;
    }
    m_pending.reset();
    m_view->unsetCursor();
    if (page) {
        m_shown = *page;
        m_view->setPage(*page);
    }
    if (index != m_page) {
        m_page = index;
        m_scroll->verticalScrollBar()->setValue(0);
    }
    updateControls();
}

void ReportPreview::updateControls()
{
    const int n = pageCount();
    const bool counted = pageCountKnown();
    {
        const QSignalBlocker block(m_pageBox);
        // Until the pages are counted, any page may be asked for; past the end shows the last.
        m_pageBox->setRange(n > 0 ? 1 : 0, counted ? std::max(n, 0) : std::numeric_limits<int>::max());
        // The page asked for while it is laid out, unless that is the end not yet found.
        m_pageBox->setValue((m_pending && *m_pending < std::numeric_limits<int>::max() ? *m_pending : m_page) + 1);
        m_pageBox->setFixedWidth(m_pageBox->fontMetrics().horizontalAdvance(QString::number(std::max(n, 10000))) + 24);
    }
    m_pageCount->setText(counted ? QStringLiteral(" of %1 ").arg(n) : QStringLiteral(" of \u2026 "));
    m_pageCount->setToolTip(counted ? QString() : QStringLiteral("Counting the pages"));
    const bool more = !counted || m_page < n - 1;
    m_first->setEnabled(m_page > 0);
    m_previous->setEnabled(m_page > 0);
    m_next->setEnabled(more);
    m_last->setEnabled(more);
    const qreal z = m_view->zoom();
    m_zoomIn->setEnabled(z < kZoomSteps[std::size(kZoomSteps) - 1] - 1e-6);
    m_zoomOut->setEnabled(z > kZoomSteps[0] + 1e-6);
}

void ReportPreview::stepZoom(int steps)
{
    const qreal z = m_view->zoom();
    int choice = -1;
    if (steps > 0) {
        for (int i = 0; i < int(std::size(kZoomSteps)); ++i)
            if (kZoomSteps[i] > z + 1e-6) {
                choice = i;
                break;
            }
    } else {
        for (int i = int(std::size(kZoomSteps)) - 1; i >= 0; --i)
            if (kZoomSteps[i] < z - 1e-6) {
                choice = i;
                break;
            }
    }
    if (choice < 0)
        return;
    m_zoomBox->setCurrentIndex(kFirstStepChoice + choice);
    applyZoomChoice(kFirstStepChoice + choice);
}

void ReportPreview::applyZoomChoice(int comboIndex)
{
    if (comboIndex == kFitWidthChoice) {
        m_fit = Fit::Width;
    } else if (comboIndex == kFitPageChoice) {
        m_fit = Fit::Page;
    } else {
        m_fit = Fit::None;
        m_view->setZoom(kZoomSteps[comboIndex - kFirstStepChoice]);
    }
    applyFit();
    m_view->setFocus();
}

void ReportPreview::applyFit()
{
    if (m_fit != Fit::None) {
        const QSize room = m_scroll->viewport()->size();
        const QSizeF paper = m_view->paperSize();
        const qreal margins = 2.0 * PageView::kMargin;
        qreal z;
        if (m_fit == Fit::Width) {
            // At full width the page is taller than the window: leave room for the scroll bar.
            const int scrollBar = m_scroll->verticalScrollBar()->sizeHint().width();
            z = (room.width() - scrollBar - margins) / paper.width();
        } else {
            z = std::min((room.width() - margins) / paper.width(), (room.height() - margins) / paper.height());
        }
        m_view->setZoom(std::max(0.1, z));
    }
    updateControls();
}

bool ReportPreview::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scroll->viewport() && event->type() == QEvent::Resize && m_fit != Fit::None)
        applyFit();
    return QMainWindow::eventFilter(watched, event);
}

void ReportPreview::printReport()
{
    printOnDefaultPrinter(PrintSource::of(m_job), this);
}

void ReportPreview::saveReport()
{
    saveAsPdf(PrintSource::of(m_job), this);
}

} // namespace ui
