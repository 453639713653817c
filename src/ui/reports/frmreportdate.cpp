#include "ui/reports/frmreportdate.h"
#include "core/app/clock.h"

#include "core/app/dates.h"
#include "ui/common/conventions.h"
#include "ui/common/services.h"
#include "ui/common/windowregistry.h"
#include "ui/lists/frmListofPickups.h"
#include "ui/reports/frmprojectlist.h"
#include "ui/reports/frmsubcontractorlist.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace ui {

frmreportdate::frmreportdate()
    : QWidget(nullptr,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmreportdate"));
    setWindowTitle(QStringLiteral("Project Report"));
    setFixedSize(336, 76);
    QFont bold = font();
    bold.setBold(true);
    auto addDate = [&](const char *labelName, const QString &caption, const char *fieldName, int x) {
        auto *l = new QLabel(caption, this);
        l->setObjectName(QLatin1String(labelName));
        l->setFont(bold);
        l->setGeometry(x, 12, 110, 18);
        auto *f = new QLineEdit(this);
        f->setObjectName(QLatin1String(fieldName));
        f->setGeometry(x, 32, 110, 24);
        f->setAccessibleName(caption);
        l->setBuddy(f);
        conventions::installDateCheck(f);
        return f;
    };
    m_text1 = addDate("Label1", QStringLiteral("Start date:"), "Text1", 12);
    m_text2 = addDate("Label2", QStringLiteral("End date:"), "Text2", 130);
    m_report = new QPushButton(QStringLiteral("Report"), this);
    m_report->setObjectName(QStringLiteral("cmdreport"));
    m_report->setGeometry(248, 31, 76, 26);
    m_report->setAutoDefault(false);
    setTabOrder(m_text1, m_text2);
    setTabOrder(m_text2, m_report);
    connect(m_report, &QPushButton::clicked, this, &frmreportdate::cmdreportClicked);
}

void frmreportdate::showdate(const QString &menuselected)
{
    m_menuselected = menuselected;
    conventions::presentCentred(this);
}

QString frmreportdate::startText() const
{
    return m_text1->text();
}

QString frmreportdate::endText() const
{
    return m_text2->text();
}

bool frmreportdate::CheckDates()
{
    const QDate today = core::today();
    const auto start = dates::parse(m_text1->text(), today);
    const auto end = dates::parse(m_text2->text(), today);
    // A text that is no date counts as empty: the list could not use it.
    if (!start || !end || *start > *end) {
        message(QStringLiteral("please check dates"), QStringLiteral("Report"));
        return false;
    }
    return true;
}

void frmreportdate::cmdreportClicked()
{
    if (!CheckDates()) {
        m_text1->setFocus();
        return;
    }
    if (m_menuselected == QLatin1String("all")) {
        WindowRegistry::get<frmListofPickups>()->showall(m_text1->text(), m_text2->text());
        close();
    } else if (m_menuselected == QLatin1String("project")) {
        WindowRegistry::get<frmprojectlist>()->showlist();
    } else if (m_menuselected == QLatin1String("subcontractor")) {
        WindowRegistry::get<frmsubcontractorlist>()->showlist();
    }
}

} // namespace ui
