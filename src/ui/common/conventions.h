#pragma once
#include "ui/common/corenames.h"
#include "ui/common/windowkeys.h"
#include <QString>
#include <functional>

class QWidget;
class QLineEdit;

// Keyboard and date behaviour that the record editors share.
namespace ui::conventions {

// Every control that takes part in Enter navigation has a tab position, unique in
// its window; labels and panels have one too, so that they stop the walk.
void setTabPosition(QWidget *control, int position);
int tabPosition(const QWidget *control); // -1 when it has none

// Moves the focus from the focused control to the control holding the next tab
// position, searched in the order the window created its controls. When that
// control cannot take the focus (a label, a disabled field) the focus stays.
// Returns whether the focus moved.
bool advanceOnEnter(QWidget *window);

// True for a key press that produces a character: letters, digits, punctuation,
// space, Backspace, Enter. Arrow keys, Delete and function keys produce none.
bool producesCharacter(int key, const QString &text);

// What typing a text puts into a field: every character replaced by its capital,
// one character for one.
QString capitals(const QString &typed);

// The editors' window-level key handling: sees every key before the focused
// control does. Enter walks to the next tab position (and still reaches the
// control); typed letters become capitals, also when composed by a dead key or an
// input method (pasted text keeps its case); after each key that produces a
// character, and after every change of a field's text by the user, `onCharacter` runs.
class EditorKeys : public WindowKeys
{
public:
    EditorKeys(QWidget *window, std::function<void()> onCharacter = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Shows a window (centred on the screen the first time, cascaded from the window it
// was opened from when it would hide it) and brings it up.
void presentCentred(QWidget *window);

// Rewrites a date field in short form, or empties it, whenever the focus leaves it
// for another control of its window.
void installDateCheck(QLineEdit *field);

} // namespace ui::conventions
