#pragma once
#include "ui/common/services.h"

#include <QList>
#include <QQueue>
#include <QStringList>

#include "core/app/clock.h"
#include "support/names.h"

// Records every message instead of showing it; answers from a script (or with the
// default button, else the first button offered).
class RecordingMessages : public MessageService
{
public:
    struct Call
    {
        QString text;
        QString title;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };
    QList<Call> calls;
    QQueue<QMessageBox::StandardButton> answers;

    QMessageBox::StandardButton show(const QString &text, const QString &title, QMessageBox::Icon icon,
                                     QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton defaultButton) override;
    QStringList texts() const;
    QStringList said() const; // "title|text" of each message

    void clear() { calls.clear(); }
};

// Scripted file choices: each call takes the next answer (an empty optional cancels).
class ScriptedFiles : public FileChooser
{
public:
    QQueue<std::optional<QString>> answers;
    QStringList offeredNames; // the name each open dialog started from
    std::optional<QString> openFile(QWidget *parent, const QString &lastName) override;
    std::optional<QString> saveFile(QWidget *parent, const QString &suggested, const QString &filter) override;
};

class FixedClock : public Clock
{
public:
    QDateTime value = QDateTime(QDate(2026, 3, 7), QTime(14, 5, 37));
    QDateTime now() const override { return value; }
};

class RecordingQuitter : public Quitter
{
public:
    int calls = 0;
    void quit() override { ++calls; }
};
