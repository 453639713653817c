#pragma once
#include <QList>
#include <QString>
#include <memory>
#include <utility>

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
    // Writes the keys of one section and checks that they reached the store. When
    // they did not, the store keeps what it held before, also in memory, so that no
    // later write carries the refused values along.
    bool writeChecked(const QString &section, const QList<std::pair<QString, QString>> &values, Failure *why = nullptr);
    QString fileName() const;

private:
    std::unique_ptr<QSettings> m_store;
};

} // namespace core
