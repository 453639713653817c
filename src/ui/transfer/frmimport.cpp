#include "ui/transfer/frmimport.h"
#include "ui/transfer/exportdatabase.h"

#include "core/db/database.h"
#include "core/db/registers.h"
#include "ui/common/services.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QListView>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <memory>

namespace ui {

namespace {
constexpr int kIdRole = Qt::UserRole + 1;
}

frmimport::frmimport(QWidget *parent)
    : QDialog(parent)
    , m_list(new QListView(this))
    , m_ok(new QPushButton(QStringLiteral("OK"), this))
    , m_model(new QStandardItemModel(this))
{
    setObjectName(QStringLiteral("frmimport"));
    setWindowTitle(QStringLiteral("import projects"));
    setModal(true);

    m_list->setObjectName(QStringLiteral("Dlist"));
    m_list->setAccessibleName(QStringLiteral("import projects"));
    m_list->setModel(m_model);
    m_list->setUniformItemSizes(true);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);

    m_ok->setObjectName(QStringLiteral("CMDOK"));
    m_ok->setAutoDefault(false);
    connect(m_ok, &QPushButton::clicked, this, &frmimport::cmdOkClicked);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_list);
    layout->addWidget(m_ok, 0, Qt::AlignRight);
    resize(320, 260);
}

frmimport::~frmimport() = default;

void frmimport::showlist(const QString &file)
{
    m_file = file;
    m_model->clear();
    m_source.reset();
    Failure failure;
    if (!db::mainIsOpen()) {
        failure = transfer::noDatabaseFor(file);
    } else {
        ProgressShown shown(parentWidget(), windowTitle(),
                            QStringLiteral("Checking \"%1\"").arg(QFileInfo(file).fileName()), Qt::ApplicationModal);
        m_source = transfer::readTransfer(file, shown.cancellable(), &failure);
    }
    if (!m_source) {
        if (failure.number != transfer::kCancelled)
            message(QStringLiteral("Error importing: ") + transfer::numberText(failure.number) + QStringLiteral(" : ")
                        + failure.description,
                    QStringLiteral("Import Error"));
        close();
        return;
    }
    for (const transfer::ProjectEntry &p : m_source->projects()) {
        auto *item = new QStandardItem(p.name);
        item->setData(p.id, kIdRole);
        item->setEditable(false);
        m_model->appendRow(item);
    }
    exec(); // may delete this window when it closes: nothing may follow
}

void frmimport::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

std::optional<qint64> frmimport::selectedProject() const
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return rows.first().data(kIdRole).toLongLong();
}

void frmimport::cmdOkClicked()
{
    if (!selectedProject()) {
        message(QStringLiteral("Please select an item from the list"), QStringLiteral("PROJECT"));
        return;
    }
    Import(m_file);
}

void frmimport::Import(const QString &file)
{
    const QString title = QStringLiteral("IMPORT DATABASE");
    const std::optional<qint64> project = file == m_file ? selectedProject() : std::nullopt;
    Failure why;
    // The file as it was checked for the list, unless it has changed since.
    std::unique_ptr<transfer::Source> fresh;
    const transfer::Source *source = file == m_file && m_source && m_source->unchanged() ? m_source.get() : nullptr;
    if (!source && (fresh = transfer::readTransfer(file, {}, &why)))
        source = fresh.get();
    std::optional<ProgressShown> shown(std::in_place, this, title, QString(), Qt::WindowModal);
    const bool imported = source && transfer::importProject(db::main(), *source, project, shown->callback(), &why);
    shown.reset();
    if (imported)
        message(QStringLiteral("Import process complete"), title);
    else
        message(transfer::errorText(why), title);
    close();
    // The main window re-reads as every import ends; a committed one has announced itself.
    if (!imported)
        registers().announce();
}

} // namespace ui
