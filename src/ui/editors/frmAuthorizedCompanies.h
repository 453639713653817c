#pragma once
#include "ui/common/corenames.h"
#include "ui/common/editorwindow.h"

class QLineEdit;

namespace ui {

// Records a subcontractor authorized on one project, or changes one.
class frmAuthorizedCompanies : public EditorWindow
{
    Q_OBJECT
public:
    frmAuthorizedCompanies();

    void NewCompany(qint64 ids);
    void EditCompany(qint64 ids);

    qint64 ProjectId() const { return m_projectId; }

private:
    void cmdsaveClicked();

    QLineEdit *m_name;
    qint64 m_projectId = 0;
};

} // namespace ui
