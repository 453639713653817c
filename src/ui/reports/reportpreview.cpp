#include "ui/reports/reportpreview.h"

#include "core/reports/reportpainter.h"
#include "ui/common/services.h"
#include "ui/reports/reportoutput.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
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

ReportPreview::~ReportPreview()
{
    stopCounting();
}

void ReportPreview::setJob(const ReportJob &job)
{
    stopCounting();
    m_job = job;
    m_stream.reset();
    m_pages.clear();
    m_shown.reset();
    m_laidOut = 0;
    m_count.reset();
    m_saidUnreadable = false;
    const ReportLayout &layout = job.layout ? *job.layout : DrpListofPickups();
    setWindowTitle(layout.caption);
    m_page = -1;
    showPage(0);
    applyFit();
    startCounting();
}

const ReportDocument &ReportPreview::document() const
{
    static const ReportDocument none;
    return m_stream ? m_stream->document() : none;
}

const ReportPage *ReportPreview::pageAt(int index)
{
    if (const auto it = m_pages.find(index); it != m_pages.end())
        return &it->second;
    // Pages come out in order only: an earlier page no longer kept is laid out again
    // from the start.
    if (!m_stream || index < m_laidOut) {
        m_stream = std::make_unique<PageStream>(m_job);
        m_pages.clear();
        m_laidOut = 0;
    }
    while (m_laidOut <= index) {
        Failure why;
        std::optional<ReportPage> page = m_stream->next(&why);
        if (!page) {
            if (!m_stream->failed())
                m_count = m_laidOut;
            else if (!std::exchange(m_saidUnreadable, true))
                message(QStringLiteral("The report could not be read. ") + why.description, QString(),
                        QMessageBox::Warning);
            return nullptr;
        }
        if (m_laidOut == 0)
            m_view->setDocument(m_stream->document());
        m_pages.emplace(m_laidOut++, std::move(*page));
        // Keep the pages nearest the one asked for.
        while (int(m_pages.size()) > kKeptPages) {
            const int first = m_pages.begin()->first, last = m_pages.rbegin()->first;
            m_pages.erase(index - first > last - index ? m_pages.begin() : std::prev(m_pages.end()));
        }
    }
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
    if (!page && m_laidOut > 0) { // past the last page: the last one
        index = m_laidOut - 1;
        page = pageAt(index);
    }
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
        m_pageBox->setValue(m_page + 1);
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
