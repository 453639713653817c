#include "core/db/clientlibraries.h"

#include <QByteArray>
#include <QLibrary>
#include <QMutex>

#include <map>
#include <memory>

namespace core::db {

namespace {

QLibrary *opened(const char *name, int version)
{
    static QMutex mutex;
    static std::map<QByteArray, std::unique_ptr<QLibrary>> libraries;
    QMutexLocker lock(&mutex);
    std::unique_ptr<QLibrary> &lib = libraries[QByteArray(name)];
    if (!lib) {
        lib = std::make_unique<QLibrary>(QString::fromLatin1(name), version);
        lib->load();
    }
    return lib.get();
}

} // namespace

bool clientLibraryLoads(const char *name, int version, QString *why)
{
    QLibrary *lib = opened(name, version);
    if (!lib->isLoaded() && why)
        *why = lib->errorString();
    return lib->isLoaded();
}

QFunctionPointer clientFunction(const char *name, int version, const char *symbol)
{
    QLibrary *lib = opened(name, version);
    if (const QFunctionPointer f = lib->resolve(symbol))
        return f;
    qFatal("%s",
           qPrintable(QStringLiteral("The function %1 of the library lib%2.so.%3 cannot be used: %4")
                          .arg(QLatin1String(symbol), QLatin1String(name))
                          .arg(version)
                          .arg(lib->errorString())));
}

} // namespace core::db
