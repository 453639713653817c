#include "ui/common/editorwindow.h"

#include "core/app/dates.h"
#include "ui/common/conventions.h"
#include "ui/common/services.h"

#include "core/db/registers.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace ui {

namespace {

// Never a message that stops at its colon.
QString reasonOf(const Failure &why)
{
    if (!why.reason.isEmpty())
        return why.reason;
    if (!why.description.isEmpty())
        return why.description;
    return QStringLiteral("the database gave no reason (error %1)").arg(why.number);
}

} // namespace

EditorWindow::EditorWindow(const QString &objectName, const QString &caption, QSize inside, int buttonPanelHeight,
                           const QString &table)
    : QWidget(nullptr,
              Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
    , m_record(table)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    setFixedSize(inside);
    m_container = new QFrame(this);
    m_container->setObjectName(QStringLiteral("PicContainer"));
    m_container->setFrameShape(QFrame::Box);
    m_container->setGeometry(0, 0, inside.width(), inside.height() - buttonPanelHeight);
    m_buttons = new QFrame(this);
    m_buttons->setObjectName(QStringLiteral("PicButtons"));
    m_buttons->setFrameShape(QFrame::StyledPanel);
    m_buttons->setGeometry(0, inside.height() - buttonPanelHeight, inside.width(), buttonPanelHeight);
}

QLabel *EditorWindow::addLabel(const char *name, const QString &text, QRect r, int position)
{
    auto *l = new QLabel(text, m_container);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(r);
    conventions::setTabPosition(l, position);
    return l;
}

QLineEdit *EditorWindow::addField(const char *name, QLabel *label, QRect r, int maxLength, int position)
{
    auto *f = new QLineEdit(m_container);
    f->setObjectName(QLatin1String(name));
    f->setGeometry(r);
    f->setMaxLength(maxLength > 0 ? maxLength : std::numeric_limits<int>::max());
    if (label)
        label->setBuddy(f);
    conventions::setTabPosition(f, position);
    return f;
}

QCheckBox *EditorWindow::addCheck(const char *name, QLabel *label, QRect r, int position)
{
    auto *c = new QCheckBox(m_container);
    c->setObjectName(QLatin1String(name));
    c->setGeometry(r);
    if (label) {
        label->setBuddy(c);
        c->setAccessibleName(label->text());
    }
    conventions::setTabPosition(c, position);
    return c;
}

void EditorWindow::addButtons(int savePosition, int cancelPosition)
{
    const int h = 25, w = 80, y = (m_buttons->height() - h) / 2;
    m_save = new QPushButton(QStringLiteral("Save"), m_buttons);
    m_save->setObjectName(QStringLiteral("cmdsave"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), m_buttons);
    m_cancel->setObjectName(QStringLiteral("CmdCancel"));
    m_cancel->setGeometry(m_buttons->width() - w - 12, y, w, h);
    m_save->setGeometry(m_buttons->width() - 2 * w - 20, y, w, h);
    for (QPushButton *b : {m_save, m_cancel}) {
        // Enter walks the fields; it never presses a button.
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    conventions::setTabPosition(m_save, savePosition);
    conventions::setTabPosition(m_cancel, cancelPosition);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_record.cancel();
        close();
    });
}

void EditorWindow::saveAndClose(const QString &what)
{
    if (!writeRecord(what))
        return;
    // The write has announced itself: closing must not make everyone re-read again.
    m_savedJustNow = true;
    close();
    m_savedJustNow = false;
}

void EditorWindow::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    if (m_announceOnClose && !m_savedJustNow && event->isAccepted())
        registers().announce();
}

void EditorWindow::bind(QLineEdit *field, const QString &column, bool isDate)
{
    m_bindings.append({field, column, isDate});
}

void EditorWindow::bind(QCheckBox *box, const QString &column)
{
    m_bindings.append({box, column, false});
}

void EditorWindow::showRecord()
{
    for (const Binding &b : m_bindings) {
        const QVariant v = m_record.value(b.column);
        if (auto *box = qobject_cast<QCheckBox *>(b.widget))
            box->setChecked(v.toInt() == -1);
        else if (auto *f = qobject_cast<QLineEdit *>(b.widget))
            f->setText(b.isDate ? dates::toShort(v) : v.toString());
    }
}

void EditorWindow::storeRecord()
{
    for (const Binding &b : m_bindings) {
        if (auto *box = qobject_cast<QCheckBox *>(b.widget)) {
            m_record.setValue(b.column, box->isChecked() ? -1 : 0);
        } else if (auto *f = qobject_cast<QLineEdit *>(b.widget)) {
            if (b.isDate) {
                m_record.setValue(b.column, dates::toStored(f->text()));
            } else {
                // An empty box leaves a column that was empty as it was.
                const QVariant old = m_record.value(b.column);
                if (!(f->text().isEmpty() && old.isNull()))
                    m_record.setValue(b.column, f->text());
            }
        }
    }
}

void EditorWindow::clearFields()
{
    for (const Binding &b : m_bindings) {
        if (auto *box = qobject_cast<QCheckBox *>(b.widget))
            box->setChecked(false);
        else if (auto *f = qobject_cast<QLineEdit *>(b.widget))
            f->clear();
    }
}

void EditorWindow::removeContainerBorder()
{
    m_container->setFrameShape(QFrame::NoFrame);
}

bool EditorWindow::writeRecord(const QString &what)
{
    storeRecord();
    Failure why;
    if (m_record.write(&why))
        return true;
    message(QStringLiteral("The %1 could not be saved: %2").arg(what, reasonOf(why)), QString(), QMessageBox::Critical);
    return false;
}

bool EditorWindow::openRecord(qint64 id, const QString &what)
{
    RecordSource loaded(m_record.table());
    Failure why;
    if (!loaded.loadById(id, &why)) {
        message(QStringLiteral("The %1 cannot be opened: %2").arg(what, reasonOf(why)), QString(),
                QMessageBox::Warning);
        if (!isVisible())
            close();
        return false;
    }
    m_record = loaded; // an unsaved record in the open editor is dropped
    return true;
}

void EditorWindow::present()
{
    conventions::presentCentred(this);
}

} // namespace ui
