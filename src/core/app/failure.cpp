#include "core/app/failure.h"

#include "core/app/globals.h"
#include "core/app/serversettings.h"

#include <QDir>
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
    // Start-up has told why; this says where, and what to do about it.
    if (gServer.isSet()) {
        // Down at start-up, or lost and not back yet: every action tries again.
        const QString reason = QStringLiteral("the server does not answer or the connection was lost; the next "
                                              "action tries again");
        return {
            int(QSqlError::ConnectionError),
            QStringLiteral("The register on the server \"%1\" cannot be reached: %2.").arg(gServer.address(), reason),
            {},
            reason};
    }
    const QString reason = QStringLiteral("no database is open at \"%1\": choose its folder in Options, or restart "
                                          "and answer Yes to create it")
                               .arg(QDir::toNativeSeparators(gDbFile));
    return {int(QSqlError::ConnectionError), reason.at(0).toUpper() + reason.mid(1) + QLatin1Char('.'), {}, reason};
}

} // namespace core
