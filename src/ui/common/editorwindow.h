#pragma once
#include "ui/common/corenames.h"
#include <QList>
#include <QPair>
#include <QWidget>

#include "core/db/recordsource.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui::conventions {
class EditorKeys;
}

namespace ui {

// What the three record editors share: a fixed-size dialog with a field panel
// (PicContainer) over a button panel (PicButtons) holding "Save" and "Cancel",
// window-level keys (Enter walks, capitals), and fields bound to one record.
class EditorWindow : public QWidget
{
    Q_OBJECT
public:
    EditorWindow(const QString &objectName, const QString &caption, QSize inside, int buttonPanelHeight,
                 const QString &table);

    void Ocultar() { close(); }
    // Shows the editor centred, its field panel without a border.
    void Mostrar()
    {
        removeContainerBorder();
        present();
    }

protected:
    QLabel *addLabel(const char *name, const QString &text, QRect r, int position);
    QLineEdit *addField(const char *name, QLabel *label, QRect r, int maxLength, int position);
    QCheckBox *addCheck(const char *name, QLabel *label, QRect r, int position);
    void addButtons(int savePosition, int cancelPosition);

    // Field <-> column bindings; a date field shows the short form and stores ISO text.
    void bind(QLineEdit *field, const QString &column, bool isDate = false);
    void bind(QCheckBox *box, const QString &column);
    void showRecord();  // record -> fields
    void storeRecord(); // fields -> record
    void clearFields();

    // "Draws the field panel without a border".
    void removeContainerBorder();
    // Writes the record; when the database refuses, tells the user why and keeps
    // the window open with what was typed. `what` names the record in the message.
    bool writeRecord(const QString &what);
    // Loads the record with this id. When it cannot be read the user is told why, an
    // open editor keeps what it had, and a window opened only for this closes.
    bool openRecord(qint64 id, const QString &what);
    // Shows the window centred and brings it up.
    void present();
    // Writes the record and closes; a refused write keeps the window open.
    void saveAndClose(const QString &what);
    // The subcontractor and pick-up editors make the main window re-read whenever
    // they close, saved or not (once: a save has announced itself).
    void announceOnClose() { m_announceOnClose = true; }
    void closeEvent(QCloseEvent *event) override;

    RecordSource m_record;
    QFrame *m_container;
    QFrame *m_buttons;
    QPushButton *m_save = nullptr;
    QPushButton *m_cancel = nullptr;
    conventions::EditorKeys *m_keys = nullptr;

private:
    struct Binding
    {
        QWidget *widget;
        QString column;
        bool isDate;
    };
    QList<Binding> m_bindings;
    bool m_announceOnClose = false;
    bool m_savedJustNow = false;
};

} // namespace ui
