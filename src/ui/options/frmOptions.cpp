#include "ui/options/frmOptions.h"

#include "core/app/globals.h"
#include "core/app/serversettings.h"
#include "core/app/settings.h"
#include "ui/common/placement.h"
#include "ui/common/services.h"
#include "ui/common/windowkeys.h"

#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeView>

namespace ui {

namespace {

QStringList driveLetters()
{
    static const QRegularExpression letter(QStringLiteral("^[A-Za-z]:"));
    QStringList out;
    for (const QFileInfo &d : QDir::drives())
        if (letter.match(d.filePath()).hasMatch())
            out << QDir::toNativeSeparators(d.filePath());
    return out;
}

} // namespace

frmOptions::frmOptions(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Options"));
    setFixedSize(twips(7365), twips(5595));

    m_frame = new QGroupBox(QStringLiteral("Folder: "), this);
    m_frame->setObjectName(QStringLiteral("Frame1"));
    m_frame->setGeometry(twipRect(465, 390, 6180, 2190));

    QFont bold = font();
    bold.setBold(true);
    const auto label = [&](const char *name, const QString &text, const QRect &r) {
        auto *l = new QLabel(text, m_frame);
        l->setObjectName(QLatin1String(name));
        l->setFont(bold);
        // Kept wide and tall enough for its text whatever the font.
        l->setGeometry(r.adjusted(0, 0, std::max(0, l->sizeHint().width() - r.width()),
                                  std::max(0, l->sizeHint().height() - r.height())));
        return l;
    };
    const auto box = [&](const char *name, const QString &text, const QRect &r) {
        auto *e = new QLineEdit(text, m_frame);
        e->setObjectName(QLatin1String(name));
        e->setGeometry(r);
        return e;
    };
    const auto button = [&](QWidget *owner, const char *name, const QString &text, const QRect &r) {
        auto *b = new QPushButton(text, owner);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(r);
        return b;
    };

    m_label1 = label("Label1", QStringLiteral("Export folder:"), twipRect(315, 375, 1500, 195));
    m_txtPath = box("txtpath1", gExportPath, twipRect(300, 615, 4560, 345));
    m_cmdExp = button(m_frame, "cmdexp1", QStringLiteral("Explore"), twipRect(5040, 600, 750, 360));
    m_label2 = label("Label2", QStringLiteral("Main Database folder:"), twipRect(315, 1050, 2085, 195));
    m_txtDatabase = box("txtdatabase", gDbPath, twipRect(300, 1290, 4560, 345));
    m_cmdDatabase = button(m_frame, "cmddatabase", QStringLiteral("Explore"), twipRect(5040, 1275, 750, 360));
    m_label1->setBuddy(m_txtPath);
    m_label2->setBuddy(m_txtDatabase);
    m_cmdSave = button(this, "cmdsave", QStringLiteral("Save"), twipRect(5310, 3435, 1350, 360));

    // Under the folders: the server that holds the register when Host is given. No
    // password here: libpq's password file or the session's prompt gives it.
    m_server = new QGroupBox(QStringLiteral("Server"), this);
    m_server->setObjectName(QStringLiteral("fraServer"));
    m_server->setGeometry(twipRect(465, 3900, 6180, 1455));
    const auto serverField
        = [&](const char *name, const QString &caption, const QString &text, int x, int y, int labelWidth, int width) {
              auto *l = new QLabel(caption, m_server);
              l->setGeometry(twipRect(x, y + 60, labelWidth, 225));
              auto *e = new QLineEdit(text, m_server);
              e->setObjectName(QLatin1String(name));
              e->setGeometry(twipRect(x + labelWidth, y, width, 345));
              l->setBuddy(e);
              return e;
          };
    m_txtServerHost = serverField("txtServerHost", QStringLiteral("Host:"), gServer.host, 300, 360, 900, 2700);
    m_txtServerPort
        = serverField("txtServerPort", QStringLiteral("Port:"), QString::number(gServer.port), 4080, 360, 600, 1200);
    m_txtServerPort->setValidator(new QIntValidator(1, 65535, m_txtServerPort));
    m_txtServerDatabase
        = serverField("txtServerDatabase", QStringLiteral("Database:"), gServer.database, 300, 885, 900, 2700);
    m_txtServerUser = serverField("txtServerUser", QStringLiteral("User:"), gServer.user, 4080, 885, 600, 1200);

    m_picture = new QWidget(this);
    m_picture->setObjectName(QStringLiteral("Picture1"));
    m_picture->setGeometry(twipRect(2640, 240, 3270, 3465));
    m_picture->setAutoFillBackground(true);
    QPalette pal = m_picture->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Highlight));
    m_picture->setPalette(pal);

    m_dirModel = new QFileSystemModel(this);
    m_dirModel->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
    m_dirModel->setRootPath(QString());
    m_dir = new QTreeView(m_picture);
    m_dir->setObjectName(QStringLiteral("Dir1"));
    m_dir->setGeometry(twipRect(165, 570, 2850, 2340));
    m_dir->setModel(m_dirModel);
    for (int c = 1; c < m_dirModel->columnCount(); ++c)
        m_dir->hideColumn(c);
    m_dir->header()->hide();
    m_dir->setUniformRowHeights(true);
    m_dir->setExpandsOnDoubleClick(false); // a double click opens the folder instead
    m_dir->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(m_dir, &QTreeView::doubleClicked, this, &frmOptions::openFolder);

    const QStringList drives = driveLetters();
    if (!drives.isEmpty()) {
        m_drive = new QComboBox(m_picture);
        m_drive->setObjectName(QStringLiteral("Drive1"));
        m_drive->setGeometry(twipRect(165, 150, 2865, 315));
        m_drive->addItems(drives);
        connect(m_drive, &QComboBox::activated, this, [this](int i) { setCurrentFolder(m_drive->itemText(i)); });
    }
    m_cmdOkExp = button(m_picture, "cmdokexp", QStringLiteral("OK"), twipRect(180, 2970, 2850, 345));
    m_picture->hide();

    connect(m_cmdExp, &QPushButton::clicked, this, [this] { explore(QStringLiteral("export")); });
    connect(m_cmdDatabase, &QPushButton::clicked, this, [this] { explore(QStringLiteral("database")); });
    connect(m_cmdOkExp, &QPushButton::clicked, this, &frmOptions::pickerOk);
    connect(m_cmdSave, &QPushButton::clicked, this, &frmOptions::save);

    setTabOrder(m_txtPath, m_cmdExp);
    setTabOrder(m_cmdExp, m_txtDatabase);
    setTabOrder(m_txtDatabase, m_cmdDatabase);
    setTabOrder(m_cmdDatabase, m_dir);
    QWidget *last = m_dir;
    if (m_drive) {
        setTabOrder(m_dir, m_drive);
        last = m_drive;
    }
    setTabOrder(last, m_cmdOkExp);
    setTabOrder(m_cmdOkExp, m_txtServerHost);
    setTabOrder(m_txtServerHost, m_txtServerPort);
    setTabOrder(m_txtServerPort, m_txtServerDatabase);
    setTabOrder(m_txtServerDatabase, m_txtServerUser);
    setTabOrder(m_txtServerUser, m_cmdSave);

    setCurrentFolder(QDir::currentPath());
    // Escape puts the folder picker away, whichever control has the focus.
    new WindowKeys(this, [this](QWidget *, QKeyEvent *key) {
        if (key->key() == Qt::Key_Escape)
            m_picture->hide();
        return false;
    });
}

frmOptions::~frmOptions() = default;

void frmOptions::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        centreOnScreen(this);
    }
    QWidget::showEvent(event);
}

void frmOptions::explore(const QString &target)
{
    m_target = target;
    m_picture->show();
    m_picture->raise();
}

void frmOptions::setCurrentFolder(const QString &path)
{
    const QModelIndex index = m_dirModel->index(QDir::fromNativeSeparators(path));
    m_currentFolder = index.isValid() ? m_dirModel->filePath(index) : QDir::fromNativeSeparators(path);
    if (index.isValid()) {
        m_dir->setCurrentIndex(index);
        m_dir->expand(index);
        m_dir->scrollTo(index);
    }
}

void frmOptions::openFolder(const QModelIndex &index)
{
    if (index.isValid())
        setCurrentFolder(m_dirModel->filePath(index));
}

void frmOptions::pickerOk()
{
    const QString folder = QDir::toNativeSeparators(m_currentFolder);
    if (m_target == QLatin1String("export"))
        m_txtPath->setText(folder);
    else if (m_target == QLatin1String("database"))
        m_txtDatabase->setText(folder);
    m_picture->hide();
}

void frmOptions::save()
{
    // A change that did not reach the settings file is not announced as made: the
    // window stays open with what was typed, and the application goes on.
    ServerSettings server;
    server.host = m_txtServerHost->text();
    server.port = m_txtServerPort->text().toInt() > 0 ? m_txtServerPort->text().toInt() : server.port;
    server.database = m_txtServerDatabase->text();
    server.user = m_txtServerUser->text();
    Failure why;
    QString notChanged;
    Settings *s = services().settings;
    if (s
        && !s->writeChecked(
            QStringLiteral("paths"),
            {{QStringLiteral("ExportPath"), m_txtPath->text()}, {QStringLiteral("Dbpath"), m_txtDatabase->text()}},
            &why)) {
        notChanged = QStringLiteral(" The folders were not changed.");
    } else if (s && !s->writeChecked(QStringLiteral("Server"), server.values(), &why)) {
        notChanged = QStringLiteral(" The server was not changed.");
    }
    if (!notChanged.isEmpty()) {
        message(why.description + notChanged, QStringLiteral("Option"), QMessageBox::Warning);
        return;
    }
    message(QStringLiteral("The application need to be restarted to make these changes take effect"),
            QStringLiteral("Option"));
    if (services().quitter)
        services().quitter->quit();
}

} // namespace ui
