#pragma once
#include "core/db/datasource.h"
#include "core/db/queries.h"
#include "ui/common/corenames.h"
#include <QString>
#include <QWidget>

class QListView;
class QPushButton;

namespace ui {

// What the project and subcontractor pickers of the "by date" reports share: a
// list of one column and "OK", which hands the chosen row's id and the date
// range on to the list of pick-ups.
class ReportPicker : public QWidget
{
    Q_OBJECT
public:
    void showlist();

    DataSource *ADOlist() const { return m_list; }

protected:
    ReportPicker(const QString &objectName, const QString &caption, const Query &query, const QString &column);
    // Fills the list of pick-ups with the range and the chosen row's id.
    virtual void handOver(const QString &fromdate, const QString &todate, const QString &ids) = 0;

private:
    void cmdokClicked();

    DataSource *m_list;
    QListView *m_dlist;
    QPushButton *m_ok;
    Query m_query;
};

} // namespace ui
