#pragma once
#include "ui/common/corenames.h"
#include "ui/common/listwindow.h"

#include <optional>

namespace ui {

// Lists pick-ups with their subcontractor's name: those of one project, or those
// of a date range (all, one project's, one subcontractor's), which it prints.
class frmListofPickups : public ListWindow
{
    Q_OBJECT
public:
    frmListofPickups();

    void showlist(const QString &ids);
    void showall(const QString &fromdate, const QString &todate);
    void showProject(const QString &fromdate, const QString &todate, const QString &ids);
    void showSubcontractor(const QString &fromdate, const QString &todate, const QString &ids);
    // Re-reads the list as it was last shown, the chosen row kept where it still is.
    void RefreshList();
    void Mostrar();

    QString listmode() const { return m_listmode; }
    QString ids() const { return m_ids; }
    QString fromdate() const { return m_fromdate; }
    QString todate() const { return m_todate; }

private:
    struct Listing
    {
        Query query;
        QString title;
    };
    // The query and report title of a list mode, from the kept ids and dates;
    // nothing when the dates cannot be read.
    std::optional<Listing> queryFor(const QString &listmode, const QString &ids, const QString &fromdate,
                                    const QString &todate) const;
    bool fillMode(const QString &listmode, const QString &ids, const QString &fromdate, const QString &todate);
    // A by-date listing; the dates and ids are kept only when it could be read.
    void showDated(const QString &listmode, const QString &fromdate, const QString &todate, const QString &ids);

    void cmdPrintClicked();

    QString m_listmode;
    QString m_ids;
    QString m_fromdate;
    QString m_todate;
};

} // namespace ui
