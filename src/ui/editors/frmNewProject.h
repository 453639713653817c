#pragma once
#include "ui/common/corenames.h"
#include "ui/common/editorwindow.h"

class QCheckBox;
class QLineEdit;

namespace ui {

// Creates or changes one project.
class frmNewProject : public EditorWindow
{
    Q_OBJECT
public:
    frmNewProject();

    void NewProject();
    void EditProject(qint64 ids);
    void Mostrar();

private:
    void cmdsaveClicked();

    QLineEdit *m_company;
    QLineEdit *m_projectName;
    QCheckBox *m_active;
};

} // namespace ui
