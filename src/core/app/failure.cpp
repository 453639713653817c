#include "core/app/failure.h"

#include <QSqlError>

namespace core {

Failure Failure::from(const QSqlError &e)
{
    Failure f;
    bool ok = false;
    f.number = e.nativeErrorCode().toInt(&ok);
    if (!ok)
        f.number = int(e.type());
    f.description = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    if (f.description.isEmpty())
        f.description = e.driverText();
    if (f.description.isEmpty())
        f.description = QStringLiteral("The database could not be read.");
    f.detail = e.text();
    return f;
}

Failure Failure::from(const QSqlError &e, const QString &description, const QString &reason)
{
    Failure f = from(e);
    f.description = description;
    f.reason = reason;
    return f;
}

Failure Failure::notOpen()
{
    return {int(QSqlError::ConnectionError), QStringLiteral("The database is not open."), {}};
}

} // namespace core
