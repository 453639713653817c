#pragma once
#include <QIcon>
#include <QString>

namespace ui {

// The application id: desktop entry, AppStream metadata and icon name.
inline const QString kAppId = QStringLiteral("org.quillbern.Quillbern");

// The installed icon from the icon theme; the same picture drawn in code where the
// theme has none (a build that was never installed).
QIcon appIcon();

} // namespace ui
