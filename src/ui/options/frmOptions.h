#pragma once
#include "ui/common/corenames.h"
#include <QString>
#include <QWidget>

class QComboBox;
class QFileSystemModel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QModelIndex;
class QPushButton;
class QTreeView;

namespace ui {

// Changes the export and database folders kept in the settings; "Save" stores them
// and ends the application, since the folders are read only at start-up.
class frmOptions : public QWidget
{
    Q_OBJECT
public:
    explicit frmOptions(QWidget *parent = nullptr);
    ~frmOptions() override;

    // The folder the picker's folder list has open (the one opened last).
    QString currentFolder() const { return m_currentFolder; }
    // "export", "database" or empty: which box the picker's "OK" fills.
    QString pickerTarget() const { return m_target; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void explore(const QString &target);
    void openFolder(const QModelIndex &index);
    void setCurrentFolder(const QString &path);
    void pickerOk();
    void save();

    QGroupBox *m_frame;
    QLabel *m_label1;
    QLineEdit *m_txtPath;
    QPushButton *m_cmdExp;
    QLabel *m_label2;
    QLineEdit *m_txtDatabase;
    QPushButton *m_cmdDatabase;
    QPushButton *m_cmdSave;
    QWidget *m_picture;
    QTreeView *m_dir;
    QComboBox *m_drive = nullptr; // only where the host has drive letters
    QPushButton *m_cmdOkExp;
    QGroupBox *m_server;
    QLineEdit *m_txtServerHost, *m_txtServerPort, *m_txtServerDatabase, *m_txtServerUser;
    QFileSystemModel *m_dirModel;
    QString m_currentFolder;
    QString m_target;
    bool m_placed = false;
};

} // namespace ui
