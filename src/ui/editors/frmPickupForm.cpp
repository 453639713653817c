#include "ui/editors/frmPickupForm.h"
#include "core/app/clock.h"

#include "core/db/queries.h"
#include "core/db/registers.h"
#include "ui/common/conventions.h"
#include "ui/common/services.h"
#include "ui/common/windowregistry.h"
#include "ui/lists/frmListofCompanies.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

namespace ui {

namespace {

// A column of the row looked up; empty when there is no row or the read failed
// (the look-ups fail silently and leave their fields empty).
QString text(const std::optional<RowSet> &found, const QString &column)
{
    return found ? found->value(0, column).toString() : QString();
}

} // namespace

frmPickupForm::frmPickupForm()
    : EditorWindow(QStringLiteral("frmPickupForm"), QStringLiteral("Pick-up Form"), QSize(560, 543), 46,
                   QStringLiteral("pickuplog"))
{
    conventions::setTabPosition(m_container, 0);
    struct Spec
    {
        const char *field;
        const char *label;
        const char *text;
        const char *column; // authorizedcompanies column, or pickuplog column when bound
        QRect box;
        int max;
        bool bound;
    };
    const int L = 12, R = 290, W = 258, FW = R + W - L, H = 22;
    const Spec specs[] = {
        {"TxtCompanyName", "Label1", "Company:", nullptr, QRect(L, 26, W, H), 50, false},
        {"TxtProjectName", "Label2", "Project Name:", nullptr, QRect(R, 26, W, H), 50, false},
        {"TxtCompany", "Label3", "Authorized Company", "Name", QRect(L, 82, W + 150, H), 50, false},
        {"TxtAddress", "Label4", "Address:", "address1", QRect(L, 126, W, H), 50, false},
        {"txtaddress2", "Label5", "Address:", "address2", QRect(R, 126, W, H), 50, false},
        {"TxtCity", "Label6", "City:", "city", QRect(L, 170, 120, H), 10, false},
        {"TxtZipCode", "Label7", "Zip Code:", "zipcode", QRect(L + 260, 170, 120, H), 10, false},
        {"TxtState", "Label8", "State:", "State", QRect(L + 130, 170, 120, H), 10, false},
        {"TxtPhone", "Label9", "Phone:", "telephone", QRect(L, 214, W, H), 50, false},
        {"TxtWebsite", "Label10", "WebSite:", "website", QRect(R, 214, W, H), 50, false},
        {"TxtFax", "Label11", "Fax:", "fax", QRect(L, 258, W, H), 50, false},
        {"TxtEmail", "Label12", "Email:", "email", QRect(R, 258, W, H), 50, false},
        {"txtMemo", "Label13", "Memo:", "note", QRect(L, 302, FW, H), 0, false},
        {"TxtPickupDate", "Label14", "Pick-up Date:", "PickupDate", QRect(L, 358, 120, H), 50, true},
        {"TxtPickupBy", "Label15", "Pick-up By:", "Pickupby", QRect(L + 130, 358, FW - 130, H), 50, true},
        {"TxtPackage", "Label16", "Package:", "Package", QRect(L, 402, FW, H), 50, true},
        {"txtnote", "Label17", "Note:", "note", QRect(L, 446, FW, H), 0, true},
    };
    // Fields take 1 to 17, then Save, Cancel; the labels fill 20 to 24 and 27 to 38
    // around "Company List" (25) and the button panel (26).
    int fieldPosition = 1;
    int labelPosition = 20;
    QList<QLineEdit *> fields;
    for (const Spec &s : specs) {
        const QRect lr(s.box.x(), s.box.y() - 18, s.box.width(), 16);
        QLabel *l = addLabel(s.label, QString::fromLatin1(s.text), lr, labelPosition++);
        if (labelPosition == 25)
            labelPosition = 27;
        QLineEdit *f = addField(s.field, l, s.box, s.max, fieldPosition++);
        f->setAccessibleName(l->text());
        if (s.bound) {
            bind(f, QString::fromLatin1(s.column), f->objectName() == QLatin1String("TxtPickupDate"));
        } else {
            f->setEnabled(false);
            // Read-only data, not a dead field: keep the text as legible as typed text.
            QPalette pal = f->palette();
            pal.setColor(QPalette::Disabled, QPalette::Text, pal.color(QPalette::Active, QPalette::Text));
            f->setPalette(pal);
            if (s.column)
                m_shownCompany.append({f, QString::fromLatin1(s.column)});
        }
        fields << f;
    }
    m_companyName = fields.at(0);
    m_projectName = fields.at(1);
    m_company = fields.at(2);
    m_pickupDate = fields.at(13);
    conventions::installDateCheck(m_pickupDate);

    for (int y : {58, 336}) {
        auto *line = new QFrame(m_container);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        line->setGeometry(L, y, FW, 6);
    }

    addButtons(18, 19);
    m_listofCompanies = new QPushButton(QStringLiteral("Company List"), m_container);
    m_listofCompanies->setObjectName(QStringLiteral("CmdListofCompanies"));
    m_listofCompanies->setGeometry(L + W + 160, 80, FW - W - 160, 26);
    m_listofCompanies->setAutoDefault(false);
    conventions::setTabPosition(m_listofCompanies, 25);
    conventions::setTabPosition(m_buttons, 26);

    setTabOrder(fields.at(13), fields.at(14));
    setTabOrder(fields.at(14), fields.at(15));
    setTabOrder(fields.at(15), fields.at(16));
    setTabOrder(fields.at(16), m_save);
    setTabOrder(m_save, m_cancel);
    setTabOrder(m_cancel, m_listofCompanies);

    m_keys = new conventions::EditorKeys(this);
    connect(m_listofCompanies, &QPushButton::clicked, this, &frmPickupForm::cmdListofCompaniesClicked);
    connect(m_save, &QPushButton::clicked, this, &frmPickupForm::cmdsaveClicked);
    announceOnClose();
}

void frmPickupForm::showProject(qint64 id)
{
    const std::optional<RowSet> project = projectById(id);
    m_companyName->setText(text(project, QStringLiteral("company")));
    m_projectName->setText(text(project, QStringLiteral("ProjectName")));
}

void frmPickupForm::NewPickup(qint64 ids)
{
    // A pick-up left unsaved in an open editor is dropped: this one starts afresh.
    m_record.cancel();
    for (const auto &[field, column] : m_shownCompany)
        field->clear();
    m_companyId = 0;

    m_projectId = ids;
    showProject(ids);
    present();
    m_record.addNew();
    clearFields();
    const QDate today = core::today();
    m_pickupDate->setText(today.toString(QStringLiteral("MM/dd/yy")));
    m_pickupDate->setFocus();
}

void frmPickupForm::ShowSelectedcompany(qint64 ids)
{
    const std::optional<RowSet> company = subcontractorById(ids);
    for (const auto &[field, column] : m_shownCompany)
        field->setText(text(company, column));
    m_companyId = ids;
    m_pickupDate->setFocus();
}

void frmPickupForm::EditPickup(qint64 ids)
{
    if (!openRecord(ids, QStringLiteral("pick-up")))
        return;
    present();
    showRecord();
    m_projectId = m_record.value(QStringLiteral("IDproject")).toLongLong();
    m_companyId = m_record.value(QStringLiteral("idauthorizedcompany")).toLongLong();
    ShowPickupDetails();
}

void frmPickupForm::ShowPickupDetails()
{
    showProject(m_record.value(QStringLiteral("IDproject")).toLongLong());
    ShowSelectedcompany(m_record.value(QStringLiteral("idauthorizedcompany")).toLongLong());
    m_pickupDate->setFocus();
}

void frmPickupForm::cmdListofCompaniesClicked()
{
    WindowRegistry::get<frmListofCompanies>()->Selectedcompanies(m_projectId);
}

void frmPickupForm::cmdsaveClicked()
{
    if (m_company->text().isEmpty()) {
        message(QStringLiteral("Please enter the company by clicking on the company list button"),
                QStringLiteral("NEW PICKUP"), QMessageBox::Critical);
        return;
    }
    m_record.setValue(QStringLiteral("IDproject"), m_projectId);
    m_record.setValue(QStringLiteral("idauthorizedcompany"), m_companyId);
    saveAndClose(QStringLiteral("pick-up"));
}

} // namespace ui
