#include "transfer/frmimport.h"
#include "transfer/transfer.h"

#include "app/services.h"
#include "app/windowregistry.h"
#include "db/database.h"

#include <QListView>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>
#include <memory>

namespace {
constexpr int kIdRole = Qt::UserRole + 1;
}

frmimport::frmimport(QWidget *parent)
    : QDialog(parent), m_list(new QListView(this)), m_ok(new QPushButton(QStringLiteral("OK"), this)),
      m_model(new QStandardItemModel(this))
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
    DbFailure failure;
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
    std::unique_ptr<QProgressDialog> dialog;
    const transfer::Progress progress = [&](qint64 done, qint64 total) {
        if (!dialog && total >= transfer::kProgressThreshold) {
            dialog = std::make_unique<QProgressDialog>(this);
            dialog->setWindowTitle(title);
            dialog->setCancelButton(nullptr); // all or nothing, and quick
            dialog->setWindowModality(Qt::WindowModal);
            dialog->setMinimumDuration(0);
            dialog->setAutoClose(false);
            dialog->setAutoReset(false);
            dialog->setRange(0, 1000);
        }
        if (dialog)
            dialog->setValue(int(done * 1000 / std::max<qint64>(total, 1)));
    };
    const transfer::ImportResult r = transfer::importProject(db::main(), file, project, progress);
    dialog.reset();
    if (r.ok)
        message(QStringLiteral("Import process complete"), title);
    else
        message(QStringLiteral("ERROR: ") + transfer::numberText(r.failure.number) + QStringLiteral(": ")
                    + r.failure.description,
                title);
    close();
    app::refreshMainWindow();
}
