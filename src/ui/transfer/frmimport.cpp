#include "ui/transfer/frmimport.h"
#include "ui/transfer/exportdatabase.h"

#include "core/db/database.h"
#include "core/db/registers.h"
#include "ui/common/services.h"

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
    Failure failure;
    const auto projects = transfer::listProjects(file, &failure);
    if (!projects) {
        message(QStringLiteral("Error importing: ") + transfer::numberText(failure.number) + QStringLiteral(" : ")
                    + failure.description,
                QStringLiteral("Import Error"));
        close();
        return;
    }
    for (const transfer::ProjectEntry &p : *projects) {
        auto *item = new QStandardItem(p.name);
        item->setData(p.id, kIdRole);
        item->setEditable(false);
        m_model->appendRow(item);
    }
    exec(); // may delete this window when it closes: nothing may follow
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
    std::optional<ProgressShown> shown(std::in_place, this, title, QString(), Qt::WindowModal);
    Failure why;
    const bool imported = transfer::importProject(db::main(), file, project, shown->callback(), &why).has_value();
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
