#include "ui/editors/frmAuthorizedCompanies.h"

#include "core/db/registers.h"
#include "ui/common/conventions.h"
#include "ui/common/services.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace ui {

frmAuthorizedCompanies::frmAuthorizedCompanies()
    : EditorWindow(QStringLiteral("frmAuthorizedCompanies"), QStringLiteral("Authorized Subcontractor"),
                   QSize(571, 441), 49, QStringLiteral("authorizedcompanies"))
{
    conventions::setTabPosition(m_container, 0);
    struct Spec
    {
        const char *field;
        const char *label;
        const char *text;
        const char *column;
        QRect box;
        int max;
        bool date;
    };
    const int L = 12, R = 292, W = 268;
    const Spec specs[] = {
        {"TxtCompanyName", "Label1", "Subcontractor Name:", "Name", QRect(L, 24, W, 22), 50, false},
        {"TxtAddress", "Label2", "Address:", "Address1", QRect(L, 70, W, 22), 50, false},
        {"txtaddress2", "Label3", "Address:", "Address2", QRect(R, 70, W, 22), 50, false},
        {"TxtCity", "Label4", "City:", "city", QRect(L, 116, 90, 22), 10, false},
        {"TxtZipCode", "Label5", "Zip Code:", "zipcode", QRect(L + 100, 116, 90, 22), 10, false},
        {"TxtState", "Label6", "State:", "state", QRect(L + 200, 116, 90, 22), 10, false},
        {"TxtPhone", "Label7", "Phone:", "Telephone", QRect(L, 162, W, 22), 50, false},
        {"TxtWebsite", "Label8", "WebSite:", "website", QRect(R, 162, W, 22), 50, false},
        {"TxtFax", "Label9", "Fax:", "Fax", QRect(L, 208, W, 22), 50, false},
        {"TxtEmail", "Label10", "Email:", "Email", QRect(R, 208, W, 22), 50, false},
        {"Text1", "Label11", "Memo:", "note", QRect(L, 254, R + W - L, 22), 0, false},
        {"TxtPickupDate", "Label12", "Pick-up Date:", "pickupdate", QRect(L, 308, 110, 22), 50, true},
        {"TxtPickupBy", "Label13", "Pick-up By:", "pickupby", QRect(L + 120, 308, W, 22), 50, false},
        {"TxtPackage", "Label14", "Package:", "package", QRect(L, 354, W + 120, 22), 50, false},
    };
    QList<QLabel *> labels;
    QList<QLineEdit *> fields;
    int labelPosition = 17;
    int fieldPosition = 1;
    for (const Spec &s : specs) {
        const QRect lr(s.box.x(), s.box.y() - 18, s.box.width(), 16);
        QLabel *l = addLabel(s.label, QString::fromLatin1(s.text), lr, labelPosition++);
        QLineEdit *f = addField(s.field, l, s.box, s.max, fieldPosition++);
        bind(f, QString::fromLatin1(s.column), s.date);
        if (s.date)
            conventions::installDateCheck(f);
        fields << f;
    }
    auto *line = new QFrame(m_container);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(L, 280, R + W - L, 6);
    m_name = fields.first();
    addButtons(15, 16);
    conventions::setTabPosition(m_buttons, labelPosition);
    fields << nullptr;
    for (int i = 0; i + 1 < fields.size() && fields.at(i + 1); ++i)
        setTabOrder(fields.at(i), fields.at(i + 1));
    setTabOrder(fields.at(fields.size() - 2), m_save);
    setTabOrder(m_save, m_cancel);

    m_keys = new conventions::EditorKeys(this);
    connect(m_save, &QPushButton::clicked, this, &frmAuthorizedCompanies::cmdsaveClicked);
    announceOnClose();
}

void frmAuthorizedCompanies::NewCompany(qint64 ids)
{
    present();
    m_projectId = ids;
    m_record.addNew();
    clearFields();
    m_name->setFocus();
}

void frmAuthorizedCompanies::EditCompany(qint64 ids)
{
    if (!openRecord(ids, QStringLiteral("subcontractor")))
        return;
    showRecord();
    m_projectId = m_record.value(QStringLiteral("IDproject")).toLongLong();
    present();
}

void frmAuthorizedCompanies::cmdsaveClicked()
{
    m_record.setValue(QStringLiteral("IDproject"), m_projectId);
    saveAndClose(QStringLiteral("subcontractor"));
}

} // namespace ui
