#pragma once
#include "core/transfer/transfer.h"
#include "ui/common/corenames.h"

#include <QString>
#include <memory>

class QProgressDialog;
class QWidget;

namespace ui {

// A progress dialog that appears once a transfer turns out to be large, and goes
// with this object. A transfer itself has no Cancel (it is all or nothing, and
// quick); reading a file to check it does.
class ProgressShown
{
public:
    ProgressShown(QWidget *parent, const QString &title, const QString &label, Qt::WindowModality modality);
    ~ProgressShown();
    core::transfer::Progress callback();
    // The same with Cancel; it answers false once Cancel was pressed.
    core::transfer::Steps cancellable();

private:
    void show(qint64 done, qint64 total, bool withCancel);

    QWidget *m_parent;
    QString m_title, m_label;
    Qt::WindowModality m_modality;
    std::unique_ptr<QProgressDialog> m_dialog;
};

// The export as the user starts it: `gDbFile` into `gExportPath`, the time from the
// clock, a progress dialog for large projects, and the outcome in a message.
void ExportDatabase(const QString &Projectselected, const QString &pname, QWidget *parent = nullptr);

} // namespace ui
