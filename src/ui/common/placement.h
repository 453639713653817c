#pragma once
#include <QRect>

class QWidget;

// Where windows and their controls stand on the screen.
namespace ui {

// The forms' positions and sizes are given in twips: 15 to a pixel at 96 dots per
// inch, rounded to the nearest pixel.
constexpr int twips(int t)
{
    return (t + 7) / 15;
}

constexpr QRect twipRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// Moves a top-level window to the middle of the primary screen's free area.
void centreOnScreen(QWidget *window);
// A window opened from another that it would hide (it covers the opener's caption)
// stands a caption's height lower and to the right of it instead.
void cascadeFrom(QWidget *window, const QWidget *opener);
// Moves a top-level window to the middle of `anchor` (another top-level window), kept
// on the anchor's screen.
void centreOver(QWidget *window, const QWidget *anchor);

} // namespace ui
