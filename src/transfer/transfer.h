#pragma once
#include <QString>

// Export of one project into a transfer file, and its import.
namespace transfer {

// Where the transfer template lies in an export folder.
QString templatePath(const QString &exportFolder);

// Creates the empty template in `exportFolder` when it is missing. Returns an empty
// text, or why it could not.
QString ensureTemplate(const QString &exportFolder);

} // namespace transfer
