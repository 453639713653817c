#include "ui/editors/frmNewProject.h"

#include "ui/common/conventions.h"
#include "ui/common/services.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace ui {

frmNewProject::frmNewProject()
    : EditorWindow(QStringLiteral("frmNewProject"), QStringLiteral("New Project"), QSize(562, 133), 49,
                   QStringLiteral("project"))
{
    conventions::setTabPosition(m_buttons, 0);
    conventions::setTabPosition(m_container, 1);
    QLabel *l1 = addLabel("Label1", QStringLiteral("Company:"), QRect(12, 12, 240, 18), 7);
    QLabel *l2 = addLabel("Label2", QStringLiteral("Project Name:"), QRect(262, 12, 220, 18), 8);
    QLabel *l3 = addLabel("Label3", QStringLiteral("Active:"), QRect(496, 12, 56, 18), 9);
    m_company = addField("TxtCompany", l1, QRect(12, 32, 240, 24), 0, 2);
    m_projectName = addField("TxtProjectName", l2, QRect(262, 32, 220, 24), 0, 3);
    m_active = addCheck("chkActive", l3, QRect(500, 34, 24, 20), 4);
    addButtons(5, 6);
    bind(m_company, QStringLiteral("Company"));
    bind(m_projectName, QStringLiteral("ProjectName"));
    bind(m_active, QStringLiteral("Active"));
    setTabOrder(m_company, m_projectName);
    setTabOrder(m_projectName, m_active);
    setTabOrder(m_active, m_save);
    setTabOrder(m_save, m_cancel);

    // Any key that produces a character enables "Save".
    m_keys = new conventions::EditorKeys(this, [this] { m_save->setEnabled(true); });
    connect(m_save, &QPushButton::clicked, this, &frmNewProject::cmdsaveClicked);
}

void frmNewProject::Mostrar()
{
    removeContainerBorder();
    m_save->setEnabled(false);
    present();
}

void frmNewProject::NewProject()
{
    removeContainerBorder();
    m_save->setEnabled(false);
    present();
    m_record.addNew();
    clearFields();
}

void frmNewProject::EditProject(qint64 ids)
{
    if (!openRecord(ids, QStringLiteral("project")))
        return;
    showRecord();
    m_save->setEnabled(true);
    present();
}

void frmNewProject::cmdsaveClicked()
{
    saveAndClose(QStringLiteral("project"));
}

} // namespace ui
