#include "core/app/serversettings.h"
#include "core/app/settings.h"

#include <QUrl>

namespace core {

namespace {
const QString kGroup = QStringLiteral("Server");
}

QString ServerSettings::address() const
{
    QUrl url;
    url.setScheme(QStringLiteral("postgresql"));
    url.setHost(host.trimmed());
    url.setPort(port);
    if (!user.isEmpty())
        url.setUserName(user);
    url.setPath(QLatin1Char('/') + database);
    return url.toString();
}

ServerSettings ServerSettings::read(const Settings &settings)
{
    ServerSettings s;
    s.host = settings.read(kGroup, QStringLiteral("Host"), {}).trimmed();
    bool ok = false;
    const int port = settings.read(kGroup, QStringLiteral("Port"), {}).trimmed().toInt(&ok);
    if (ok && port > 0 && port < 65536)
        s.port = port;
    s.database = settings.read(kGroup, QStringLiteral("Database"), {}).trimmed();
    s.user = settings.read(kGroup, QStringLiteral("User"), {}).trimmed();
    return s;
}

QList<std::pair<QString, QString>> ServerSettings::values() const
{
    return {{QStringLiteral("Host"), host.trimmed()},
            {QStringLiteral("Port"), QString::number(port)},
            {QStringLiteral("Database"), database.trimmed()},
            {QStringLiteral("User"), user.trimmed()}};
}

void ServerSettings::write(Settings &settings) const
{
    for (const auto &[key, value] : values())
        settings.write(kGroup, key, value);
}

std::optional<ServerSettings> ServerSettings::fromAddress(const QString &address, Failure *why)
{
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    const auto bad = [&](const QString &reason) {
        return nothing(why,
                       Failure::withReason(QStringLiteral("\"%1\" is not a server address (%2): write it as "
                                                          "postgresql://USER@HOST:PORT/DBNAME.")
                                               .arg(address, reason),
                                           reason));
    };
    if (!url.isValid())
        return bad(url.errorString());
    if (url.scheme() != QLatin1String("postgresql") && url.scheme() != QLatin1String("postgres"))
        return bad(QStringLiteral("it does not start with postgresql://"));
    if (url.host().isEmpty())
        return bad(QStringLiteral("it names no host"));
    ServerSettings s;
    s.host = url.host();
    s.port = url.port(5432);
    s.user = url.userName();
    s.database = url.path().mid(1);
    if (s.database.isEmpty() || s.database.contains(QLatin1Char('/')))
        return bad(QStringLiteral("it names no database"));
    return s;
}

} // namespace core
