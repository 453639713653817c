#pragma once
#include "core/db/datasource.h"
#include "core/db/registers.h"
#include "ui/common/corenames.h"
#include <QMainWindow>
#include <QString>
#include <optional>

class QLabel;
class QListView;
class QTableView;
class QPushButton;
class QMenu;
class QAction;

namespace ui {

// The hub window: the projects, the subcontractors of the chosen project, and the
// pick-ups of the chosen subcontractor, with the menus that open everything else.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    void Mostrar();
    void Ocultar();
    void LoadList();
    void RefreshSubcontractor(const QString &ids);
    void RefreshPickup(const QString &ids);
    void ExportDatabase(const QString &Projectselected, const QString &pname);
public slots:
    // Re-reads the lists after a change to `table` (empty: any table). The project
    // list is read again only when the projects may have changed.
    void RefreshInterface(const QString &table = {}, core::db::Registers::Change how = core::db::Registers::Written);

public:
    // The file chosen last in the import dialog (kept for the whole run).
    QString lastImportFile() const { return m_lastImportFile; }

    // The chosen project and subcontractor, kept by id across refreshes.
    std::optional<qint64> chosenProjectId() const { return m_projectId; }
    std::optional<qint64> chosenCompanyId() const { return m_companyId; }

    DataSource *AdoProjects() const { return m_projects; }
    DataSource *AdoSubcontractor() const { return m_companies; }
    DataSource *adopickups() const { return m_pickups; }

signals:
    // An import file was chosen (the import window takes it from here).
    void importFileChosen(const QString &path);

private:
    void buildMenus();
    void buildControls();
    void configurePickupGrid();
    void projectClicked();
    void subcontractorClicked();
    void importDatabase();
    void cmdPrintClicked();
    // The id of the row selected in `view`; says so when nothing is selected.
    std::optional<qint64> chosenId(DataSource *source, QListView *view);
    void reselect(QListView *view, DataSource *source, const std::optional<qint64> &id);
    // Says so when `source` could not be read, once until the lists can be read again.
    bool readable(bool read, const DataSource *source);
    bool eventFilter(QObject *watched, QEvent *event) override;

    DataSource *m_projects;
    DataSource *m_companies;
    DataSource *m_pickups;
    QLabel *m_container = nullptr;
    QListView *m_dbProject = nullptr;
    QListView *m_dbSubcontractor = nullptr;
    QTableView *m_dbgPickup = nullptr;
    QPushButton *m_cmdPrint = nullptr;

    std::optional<qint64> m_projectId;     // chosen in the project list
    std::optional<qint64> m_companyId;     // chosen in the subcontractor list
    std::optional<qint64> m_pickupProject; // the ids the pick-up grid was queried with
    std::optional<qint64> m_pickupCompany;
    // What another program had committed when the project list was read last, and
    // whether that read succeeded.
    std::optional<qint64> m_projectsReadAt;
    bool m_projectsRead = false;
    bool m_reselecting = false;
    bool m_saidUnreadable = false;
    bool m_handledBeforeRelease = false;
    int m_configuredColumns = -1;
    QString m_lastImportFile;
};

} // namespace ui
