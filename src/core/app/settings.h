#pragma once
#include <QString>
#include <memory>

#include "core/app/failure.h"

class QSettings;

namespace core {

// The per-user settings store. Qt matches INI keys exactly on Linux, but the
// application writes "Dbpath" and reads "dbpath": both must reach one entry, so
// every lookup here ignores the case of section and key.
class Settings
{
public:
    // The user's native store: organization and application both "qubern".
    Settings();
    // A store kept in the given file (tests, the demo).
    explicit Settings(const QString &filePath);
    ~Settings();

    QString read(const QString &section, const QString &key, const QString &defaultValue) const;
    void write(const QString &section, const QString &key, const QString &value);
    // Writes every change to the store.
    bool sync(Failure *why = nullptr);
    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_store;
};

} // namespace core
