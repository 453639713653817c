#include "ui/main/frmMain.h"
#include "ui/common/quitafterpaint.h"
#include "core/app/clock.h"

#include "core/app/dates.h"
#include "core/app/globals.h"
#include "core/db/database.h"
#include "core/db/datasource.h"
#include "core/db/queries.h"
#include "core/db/registers.h"
#include "core/db/rowset.h"
#include "core/reports/reportlayout.h"
#include "ui/common/models.h"
#include "ui/common/placement.h"
#include "ui/common/services.h"
#include "ui/common/windowregistry.h"
#include "ui/editors/frmNewProject.h"
#include "ui/lists/frmListofProjects.h"
#include "ui/options/frmOptions.h"
#include "ui/reports/frmreportdate.h"
#include "ui/reports/reportoutput.h"
#include "ui/transfer/exportdatabase.h"
#include "ui/transfer/frmimport.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QResource>
#include <QSqlError>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>

#include <utility>

namespace ui {

namespace {

// Shows stored ISO dates in the short form.
class ShortDateDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant &value, const QLocale &) const override { return dates::toShort(value); }
};

struct GridColumn
{
    const char *caption;
    bool shown;
    int widthTwips;
};
// Captions are the field names; the select list is the table's own column order.
const GridColumn kPickupColumns[] = {
    {"id", false, 915},         {"idProject", false, 915}, {"idAuthorizedCompany", false, 1605},
    {"PickupDate", true, 1740}, {"Pickupby", true, 1740},  {"Package", true, 1740},
    {"note", true, 1740},
};

// Raw pixels in QImage::Format_RGB32, 752 x 447, the size the window shows them at
// (see resources/make_background.py and scale_background.cpp); used in place, without
// decoding, converting or scaling: smooth scaling alone took longer than building
// the rest of the window.
QPixmap backgroundPicture()
{
    const QSize size(752, 447);
    QResource res(QStringLiteral(":/images/background.rgb"));
    const QByteArray data = res.uncompressedData();
    if (data.size() != qsizetype(size.width()) * size.height() * 4)
        return {};
    const QImage img(reinterpret_cast<const uchar *>(data.constData()), size.width(), size.height(), size.width() * 4,
                     QImage::Format_RGB32);
    return QPixmap::fromImage(img); // copies the pixels
}

std::optional<qint64> idOf(const QVariant &v)
{
    bool ok = false;
    const qint64 id = v.toLongLong(&ok);
    if (v.isNull() || !ok)
        return std::nullopt;
    return id;
}

} // namespace

frmMain::frmMain(QWidget *parent)
    : QMainWindow(parent)
    , m_projects(new DataSource(this))
    , m_companies(new DataSource(this))
    , m_pickups(new DataSource(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(core::kAppTitle);
    m_projects->setObjectName(QStringLiteral("AdoProjects"));
    m_companies->setObjectName(QStringLiteral("AdoSubcontractor"));
    m_pickups->setObjectName(QStringLiteral("adopickups"));

    buildMenus();
    buildControls();

    // Fixed single border: the client area is 752 x 451 pixels under the menu bar.
    const QSize client(twips(11280), twips(6765));
    setFixedSize(client.width(), client.height() + menuBar()->sizeHint().height());
    centreOnScreen(this);

    Mostrar();
    LoadList();
    // Whatever is written anywhere, the lists it can change re-read.
    connect(&registers(), &Registers::changed, this, &frmMain::RefreshInterface);
}

frmMain::~frmMain() = default;

void frmMain::buildMenus()
{
    QMenuBar *bar = menuBar();
    auto addMenu = [&](const char *name, const QString &caption) {
        QMenu *m = bar->addMenu(caption);
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };
    auto addItem = [&](QMenu *menu, const char *name, const QString &caption, auto handler) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };

    QMenu *project = addMenu("mnuProject", QStringLiteral("         Project          "));
    addItem(project, "mnuProNewProject", QStringLiteral("New Project"),
            [] { WindowRegistry::get<frmNewProject>()->NewProject(); });
    addItem(project, "mnuProListofProjects", QStringLiteral("List of Projects"),
            [] { WindowRegistry::get<frmListofProjects>()->showlist(); });
    auto chooser = [](const char *origen) {
        return [origen] { WindowRegistry::get<frmListofProjects>()->Mostrar(QLatin1String(origen)); };
    };

    QMenu *companies = addMenu("mnuAuthorizedCompanies", QStringLiteral("    Authorized Subcontractor"));
    addItem(companies, "mnuAutNewCompany", QStringLiteral("New Subcontractor"), chooser("newcompany"));
    addItem(companies, "mnuAutListOfCompany", QStringLiteral("List of Subcontractor"), chooser("listofcompanies"));
    addItem(companies, "mnuAutImportDatabase", QStringLiteral("Import Database"), [this] { importDatabase(); });
    addItem(companies, "Mexport", QStringLiteral("Export Database"), chooser("export"));

    QMenu *pickups = addMenu("mnuPickupLog", QStringLiteral("       Pick-up Log       "));
    addItem(pickups, "mnuPicNewPickup", QStringLiteral("New Pick-up"), chooser("newpickup"));
    addItem(pickups, "mnuPicListofPickups", QStringLiteral("List of Pick-ups"), chooser("listofpickups"));
    addItem(pickups, "mnuPicPrintListOfPickups", QStringLiteral("Print list of pick-ups"), chooser("listofpickups"));

    QMenu *reports = addMenu("mnuReports", QStringLiteral("        Reports       "));
    auto byDate = [](const char *mode) {
        return [mode] { WindowRegistry::get<frmreportdate>()->showdate(QLatin1String(mode)); };
    };
    addItem(reports, "Allpickupsbydate", QStringLiteral("All Pickups by date"), byDate("all"));
    addItem(reports, "mnuPpbydate", QStringLiteral("Project Pickups by date"), byDate("project"));
    addItem(reports, "mnuspbydate", QStringLiteral("Subcontractor Pickups by date"), byDate("subcontractor"));
    addItem(reports, "mnusubnotpckup", QStringLiteral("Subcontractors not picked-up"),
            chooser("subcontractornotpickups"));

    // A top-level entry that is itself the command.
    QAction *options = bar->addAction(QStringLiteral("     Options     "));
    options->setObjectName(QStringLiteral("mnuOptions"));
    connect(options, &QAction::triggered, this, [] {
        auto *w = WindowRegistry::get<frmOptions>();
        w->show();
        w->raise();
        w->activateWindow();
    });
}

void frmMain::buildControls()
{
    m_container = new QLabel(this);
    m_container->setObjectName(QStringLiteral("PicContainer"));
    const QPixmap picture = backgroundPicture();
    m_container->setPixmap(picture);
    m_container->setFixedSize(twips(11280), twips(6735));
    m_container->setContentsMargins(0, twips(30), 0, 0);
    m_container->setScaledContents(picture.size() != m_container->contentsRect().size());
    setCentralWidget(m_container);

    QFont bold = font();
    bold.setPointSizeF(8.25);
    bold.setBold(true);
    auto addLabel = [&](const char *name, const QString &text, QRect r) {
        auto *l = new QLabel(text, m_container);
        l->setObjectName(QLatin1String(name));
        l->setFont(bold);
        l->setAutoFillBackground(true); // readable over the picture
        l->setGeometry(r);
        return l;
    };
    QLabel *lProjects = addLabel("Label1_0", QStringLiteral("Projects:"), twipRect(345, 585, 1785, 255));
    QLabel *lCompanies = addLabel("Label2", QStringLiteral("Subcontractor:"), twipRect(3030, 585, 1785, 255));
    QLabel *lPickups = addLabel("Label1_1", QStringLiteral("Pickup Log:"), twipRect(5805, 585, 1785, 255));

    auto makeList = [&](const char *name, DataSource *source, const QString &field, QRect r) {
        auto *v = new QListView(m_container);
        v->setObjectName(QLatin1String(name));
        v->setModel(new ListedField(source, field, v));
        v->setUniformItemSizes(true);
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setGeometry(r);
        v->viewport()->installEventFilter(this);
        v->installEventFilter(this);
        return v;
    };
    m_dbProject = makeList("dbProject", m_projects, QStringLiteral("Projectname"), twipRect(330, 930, 2430, 4350));
    m_dbSubcontractor
        = makeList("dbsubcontractor", m_companies, QStringLiteral("name"), twipRect(3030, 930, 2490, 4350));
    lProjects->setBuddy(m_dbProject);
    lCompanies->setBuddy(m_dbSubcontractor);

    m_dbgPickup = new QTableView(m_container);
    m_dbgPickup->setObjectName(QStringLiteral("dbgPickup"));
    QStringList captions;
    for (const GridColumn &c : kPickupColumns)
        captions << QLatin1String(c.caption);
    m_dbgPickup->setModel(new CaptionedColumns(m_pickups->model(), captions, m_dbgPickup));
    m_dbgPickup->setGeometry(twipRect(5730, 915, 5100, 4350));
    m_dbgPickup->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_dbgPickup->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_dbgPickup->setItemDelegateForColumn(3, new ShortDateDelegate(m_dbgPickup));
    m_dbgPickup->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_dbgPickup->verticalHeader()->setDefaultSectionSize(m_dbgPickup->fontMetrics().height() + 6);
    m_dbgPickup->verticalHeader()->setMinimumWidth(12);
    m_dbgPickup->setWordWrap(false);
    lPickups->setBuddy(m_dbgPickup);
    configurePickupGrid();
    connect(m_pickups, &DataSource::refreshed, this, &frmMain::configurePickupGrid);

    m_cmdPrint = new QPushButton(QStringLiteral("Print"), m_container);
    m_cmdPrint->setObjectName(QStringLiteral("CmdPrint"));
    m_cmdPrint->setGeometry(twipRect(10020, 5415, 825, 285));
    connect(m_cmdPrint, &QPushButton::clicked, this, &frmMain::cmdPrintClicked);

    m_container->setFocusPolicy(Qt::NoFocus);
    setTabOrder(m_dbProject, m_dbSubcontractor);
    setTabOrder(m_dbSubcontractor, m_dbgPickup);
    setTabOrder(m_dbgPickup, m_cmdPrint);

    auto keyboardPick = [this](QListView *view, void (frmMain::*handler)()) {
        connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this, view, handler](const QModelIndex &current) {
                    // Mouse clicks are handled on release; this follows the keyboard only,
                    // and not the reset that a new query causes.
                    if (m_reselecting || !current.isValid() || QApplication::mouseButtons() != Qt::NoButton
                        || !view->selectionModel()->hasSelection())
                        return;
                    m_handledBeforeRelease = true;
                    (this->*handler)();
                });
    };
    keyboardPick(m_dbProject, &frmMain::projectClicked);
    keyboardPick(m_dbSubcontractor, &frmMain::subcontractorClicked);
}

void frmMain::configurePickupGrid()
{
    QAbstractItemModel *m = m_pickups->model();
    // Captions and widths outlive a new query of the same columns; setting them
    // again on every click would lay the grid out twice. Without a query the grid
    // still shows its captions.
    if (m->columnCount() == m_configuredColumns)
        return;
    m_configuredColumns = m->columnCount();
    const int n = int(std::size(kPickupColumns));
    for (int c = 0; c < n && c < m_dbgPickup->model()->columnCount(); ++c) {
        m->setHeaderData(c, Qt::Horizontal, QString::fromLatin1(kPickupColumns[c].caption));
        m_dbgPickup->setColumnHidden(c, !kPickupColumns[c].shown);
        m_dbgPickup->setColumnWidth(c, twips(kPickupColumns[c].widthTwips));
    }
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress)
        m_handledBeforeRelease = false;
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        // Synthesised clicks may already have been followed as a change of row.
        const bool handled = std::exchange(m_handledBeforeRelease, false);
        if (!handled && watched == m_dbProject->viewport())
            QMetaObject::invokeMethod(this, &frmMain::projectClicked, Qt::QueuedConnection);
        else if (!handled && watched == m_dbSubcontractor->viewport())
            QMetaObject::invokeMethod(this, &frmMain::subcontractorClicked, Qt::QueuedConnection);
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::Mostrar()
{
}

void frmMain::Ocultar()
{
    close();
}

void frmMain::LoadList()
{
    m_projects->setQuery(queries::everyProject());
    // Start-up has told the user already when no database could be opened.
    if (!db::mainIsOpen())
        m_saidUnreadable = true;
    m_projectsReadAt = db::changesElsewhere();
    // Counted once the lists have been drawn (the grid is drawn last) and what was due
    // with that paint has run: at start-up, counting a long list of projects cost more
    // than building the whole window.
    m_projectsRead = m_projects->refresh(true);
    m_dbgPickup->viewport()->installEventFilter(
        new AfterFirstPaint(this, [this] { QTimer::singleShot(0, m_projects, &DataSource::countRest); }));
    readable(m_projectsRead, m_projects);
}

void frmMain::RefreshSubcontractor(const QString &ids)
{
    m_companies->setQuery(queries::subcontractorsOfProject(db::idValue(ids)));
    readable(m_companies->refresh(), m_companies);
}

bool frmMain::readable(bool read, const DataSource *source)
{
    // Said once when the lists become unreadable, not at every refresh after.
    if (read)
        m_saidUnreadable = false;
    else if (!std::exchange(m_saidUnreadable, true))
        message(QStringLiteral("The list cannot be read: %1").arg(source->lastFailure().description), QString(),
                QMessageBox::Warning);
    return read;
}

void frmMain::RefreshPickup(const QString &ids)
{
    // The chosen project, not whichever project row happens to be current.
    if (!m_projectId)
        return;
    m_pickupProject = m_projectId;
    m_pickupCompany = idOf(db::idValue(ids));
    m_pickups->setQuery(queries::pickupsOfSubcontractorInProject(db::idValue(ids), *m_projectId));
    readable(m_pickups->refresh(), m_pickups);
    m_dbgPickup->viewport()->update();
}

std::optional<qint64> frmMain::chosenId(DataSource *source, QListView *view)
{
    if (!source->setCurrentFromSelection(view->selectionModel())) {
        message(QStringLiteral("Please select an item on the list"), QStringLiteral("PROJECT"));
        return std::nullopt;
    }
    return idOf(source->field(QStringLiteral("id")));
}

void frmMain::projectClicked()
{
    const auto id = chosenId(m_projects, m_dbProject);
    if (!id)
        return;
    m_projectId = id;
    m_companyId.reset();
    RefreshSubcontractor(QString::number(*id));
}

void frmMain::subcontractorClicked()
{
    const auto id = chosenId(m_companies, m_dbSubcontractor);
    if (!id)
        return;
    m_companyId = id;
    RefreshPickup(QString::number(*id));
}

void frmMain::reselect(QListView *view, DataSource *source, const std::optional<qint64> &id)
{
    m_reselecting = true;
    view->selectionModel()->clearSelection();
    const int row = id ? source->findRow(QStringLiteral("id"), *id) : -1;
    if (row >= 0) {
        const QModelIndex idx = view->model()->index(row, 0);
        view->selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect);
        source->setCurrentRow(row);
    }
    m_reselecting = false;
}

void frmMain::RefreshInterface(const QString &table, Registers::Change)
{
    // One message for the three lists when the register has become unreadable.
    const DataSource *failed = nullptr;
    const auto refresh = [&failed](DataSource *d) {
        if (!d->hasQuery() || d->refresh())
            return d->hasQuery();
        failed = failed ? failed : d;
        return false;
    };
    // A save of a subcontractor or a pick-up leaves the projects as they were, and
    // re-reading 100,000 of them would find the chosen one's place again by counting.
    const std::optional<qint64> readAt = db::changesElsewhere();
    const bool projectsChanged = table.isEmpty() || table.compare(QLatin1String("project"), Qt::CaseInsensitive) == 0
        || !m_projectsRead || !readAt || readAt != m_projectsReadAt;
    if (projectsChanged) {
        m_projectsReadAt = readAt;
        m_projectsRead = refresh(m_projects);
        if (m_projectsRead)
            reselect(m_dbProject, m_projects, m_projectId);
    }
    if (refresh(m_companies))
        reselect(m_dbSubcontractor, m_companies, m_companyId);
    refresh(m_pickups);
    readable(!failed, failed);
    m_dbgPickup->viewport()->update();
}

void frmMain::importDatabase()
{
    // The dialog keeps the name chosen last; cancelling leaves it as it was.
    if (services().files) {
        if (const auto chosen = services().files->openFile(this, m_lastImportFile))
            m_lastImportFile = *chosen;
    }
    if (m_lastImportFile.isEmpty())
        return;
    emit importFileChosen(m_lastImportFile);
    WindowRegistry::get<frmimport>()->showlist(m_lastImportFile);
}

void frmMain::ExportDatabase(const QString &Projectselected, const QString &pname)
{
    ui::ExportDatabase(Projectselected, pname, this);
}

void frmMain::cmdPrintClicked()
{
    // Failures are numbered messages and the next step runs; without rows there is
    // no report.
    std::optional<bool> any;
    Failure failure;
    if (!m_pickups->hasQuery())
        failure = {int(QSqlError::StatementError),
                   QStringLiteral("No subcontractor has been chosen: there is no list of pick-ups to print."),
                   {}};
    else
        any = hasRows(m_pickups->query(), &failure);
    if (!any) {
        message(failure.text());
        return;
    }

    // The names of the project and subcontractor the grid was queried with.
    auto named = [](std::optional<QString> (*nameOf)(qint64, Failure *), const std::optional<qint64> &id) {
        if (!id)
            return QString();
        Failure f;
        const std::optional<QString> name = nameOf(*id, &f);
        if (!name)
            message(f.text());
        return name.value_or(QString());
    };
    const QString project = named(&projectName, m_pickupProject);
    const QString company = named(&subcontractorName, m_pickupCompany);

    if (!*any) {
        message(QStringLiteral("There are not Registers"));
        return;
    }
    const QString title = QStringLiteral("Project: ") + project + QStringLiteral("   Subcontractor: ") + company;
    if (services().reports)
        services().reports->preview(
            reports::registerJob(reports::DrpListofPickupsOnly(), m_pickups->query(), title, core::today()));
}

} // namespace ui
