#include "transfer/transfer.h"
#include "app/globals.h"
#include "db/database.h"

#include <QFileInfo>

namespace transfer {

QString templatePath(const QString &exportFolder)
{
    return app::joinPath(exportFolder, app::kTemplateFileName);
}

QString ensureTemplate(const QString &exportFolder)
{
    const QString path = templatePath(exportFolder);
    if (QFileInfo::exists(path))
        return {};
    return db::createTemplateFile(path);
}

} // namespace transfer
