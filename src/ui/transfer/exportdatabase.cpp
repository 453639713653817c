#include "ui/transfer/exportdatabase.h"

#include "core/app/clock.h"
#include "core/app/globals.h"
#include "ui/common/services.h"

#include <QProgressDialog>

namespace ui {

using namespace core::transfer;

ProgressShown::ProgressShown(QWidget *parent, const QString &title, const QString &label, Qt::WindowModality modality)
    : m_parent(parent)
    , m_title(title)
    , m_label(label)
    , m_modality(modality)
{
}

ProgressShown::~ProgressShown() = default;

void ProgressShown::show(qint64 done, qint64 total, bool withCancel)
{
    if (!m_dialog && total >= kProgressThreshold) {
        m_dialog = std::make_unique<QProgressDialog>(m_parent);
        m_dialog->setWindowTitle(m_title);
        if (!m_label.isEmpty())
            m_dialog->setLabelText(m_label);
        if (!withCancel)
            m_dialog->setCancelButton(nullptr);
        m_dialog->setWindowModality(m_modality);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoClose(false);
        m_dialog->setAutoReset(false);
        m_dialog->setRange(0, 1000);
    }
    if (m_dialog)
        m_dialog->setValue(int(done * 1000 / std::max<qint64>(total, 1)));
}

core::transfer::Progress ProgressShown::callback()
{
    return [this](qint64 done, qint64 total) { show(done, total, false); };
}

core::transfer::Steps ProgressShown::cancellable()
{
    return [this](qint64 done, qint64 total) {
        show(done, total, true);
        return !(m_dialog && m_dialog->wasCanceled());
    };
}

void ExportDatabase(const QString &Projectselected, const QString &pname, QWidget *parent)
{
    const QString title = QStringLiteral("EXPORT DATABASE");
    bool isNumber = false;
    const qint64 projectId = Projectselected.trimmed().toLongLong(&isNumber);
    Failure why;
    bool exported = false;
    if (!isNumber) {
        why = Failure::plain(QStringLiteral("The project id \"%1\" is not a number.").arg(Projectselected), 20);
    } else {
        const QDateTime when = core::now();
        ProgressShown shown(parent, title, pname, Qt::ApplicationModal);
        exported = exportProject(gDbFile, gExportPath, projectId, pname, when, shown.callback(), &why).has_value();
    }
    if (exported)
        message(QStringLiteral("Export process complete"), title);
    else
        message(errorText(why), title);
}

} // namespace ui
