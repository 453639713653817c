#include "support/testservices.h"

QMessageBox::StandardButton RecordingMessages::show(const QString &text, const QString &title,
                                                    QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                                    QMessageBox::StandardButton defaultButton)
{
    calls.append({text, title, icon, buttons});
    if (!answers.isEmpty())
        return answers.dequeue();
    if (defaultButton != QMessageBox::NoButton)
        return defaultButton;
    for (int b = QMessageBox::FirstButton; b <= QMessageBox::LastButton; b <<= 1)
        if (buttons.testFlag(QMessageBox::StandardButton(b)))
            return QMessageBox::StandardButton(b);
    return QMessageBox::Ok;
}

QStringList RecordingMessages::texts() const
{
    QStringList out;
    for (const Call &c : calls)
        out << c.text;
    return out;
}

QStringList RecordingMessages::said() const
{
    QStringList out;
    for (const Call &c : calls)
        out << c.title + '|' + c.text;
    return out;
}

std::optional<QString> ScriptedFiles::openFile(QWidget *, const QString &lastName)
{
    offeredNames << lastName;
    return answers.isEmpty() ? std::nullopt : answers.dequeue();
}

std::optional<QString> ScriptedFiles::saveFile(QWidget *, const QString &, const QString &)
{
    return answers.isEmpty() ? std::nullopt : answers.dequeue();
}
