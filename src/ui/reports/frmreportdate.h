#pragma once
#include "ui/common/corenames.h"
#include <QString>
#include <QWidget>

class QLineEdit;
class QPushButton;

namespace ui {

// Asks for the date range of the "by date" reports; in the project and
// subcontractor modes a picker then asks for the one to report on.
class frmreportdate : public QWidget
{
    Q_OBJECT
public:
    frmreportdate();

    // "all", "project" or "subcontractor".
    void showdate(const QString &menuselected);

    QString menuselected() const { return m_menuselected; }
    // The date texts as they stand now (the pickers read them when they hand over).
    QString startText() const;
    QString endText() const;

private:
    bool CheckDates();
    void cmdreportClicked();

    QLineEdit *m_text1;
    QLineEdit *m_text2;
    QPushButton *m_report;
    QString m_menuselected;
};

} // namespace ui
