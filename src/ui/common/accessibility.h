#pragma once

namespace ui {

// Gives our plain top-level windows (list windows, pickers, editors, Options) a
// window role with their caption, as the main window and dialogs have; without it
// assistive technology announces them as anonymous panels. Safe to call often.
void installWindowRoles();

} // namespace ui
