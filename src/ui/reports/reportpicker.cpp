#include "ui/reports/reportpicker.h"

#include "core/db/datasource.h"
#include "ui/common/conventions.h"
#include "ui/common/listwindow.h"
#include "ui/common/models.h"
#include "ui/common/services.h"
#include "ui/common/windowregistry.h"
#include "ui/reports/frmreportdate.h"

#include <QGuiApplication>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace ui {

ReportPicker::ReportPicker(const QString &objectName, const QString &caption, const Query &query, const QString &column)
    : QWidget(nullptr, Qt::Window)
    , m_list(new DataSource(this))
    , m_query(query)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    m_list->setObjectName(QStringLiteral("ADOlist"));
    resize(300, 380);
    auto *layout = new QVBoxLayout(this);
    m_dlist = new QListView(this);
    m_dlist->setObjectName(QStringLiteral("Dlist"));
    m_dlist->setAccessibleName(caption);
    m_dlist->setModel(new ListedField(m_list, column, m_dlist));
    m_dlist->setUniformItemSizes(true);
    m_dlist->setSelectionMode(QAbstractItemView::SingleSelection);
    m_dlist->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(m_dlist, 1);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("CMDOK"));
    m_ok->setAutoDefault(false);
    layout->addWidget(m_ok, 0, Qt::AlignRight);
    connect(m_ok, &QPushButton::clicked, this, &ReportPicker::cmdokClicked);
}

void ReportPicker::showlist()
{
    conventions::presentCentred(this);
    m_list->setQuery(m_query);
    if (!m_list->refresh())
        message(QStringLiteral("The list cannot be read: %1").arg(m_list->lastFailure().description), QString(),
                QMessageBox::Warning);
}

void ReportPicker::cmdokClicked()
{
    if (!m_list->setCurrentFromSelection(m_dlist->selectionModel())) {
        message(QStringLiteral("Please select an item from the list"), QStringLiteral("PROJECT"));
        return;
    }
    // The dates as they stand now; with the date window closed there are none.
    frmreportdate *dates = WindowRegistry::existing<frmreportdate>();
    const QString from = dates ? dates->startText() : QString();
    const QString to = dates ? dates->endText() : QString();
    handOver(from, to, idText(m_list->field(QStringLiteral("id"))));
    if (dates)
        dates->close();
    close();
}

} // namespace ui
