#include "core/app/settings.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStringList>

namespace core {

Settings::Settings()
    : m_store(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qubern"),
                                          QStringLiteral("qubern")))
{
}

Settings::Settings(const QString &filePath)
    : m_store(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

Settings::~Settings() = default;

static QString findCaseless(const QStringList &names, const QString &wanted)
{
    for (const QString &n : names)
        if (n.compare(wanted, Qt::CaseInsensitive) == 0)
            return n;
    return {};
}

// The value of `key` in `[group]` exactly as written in an INI file, with the
// format's backslash escapes undone; a null text when it cannot be found.
static QString rawIniValue(const QString &fileName, const QString &group, const QString &key)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inGroup = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line.mid(1, line.size() - 2).compare(group, Qt::CaseInsensitive) == 0;
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (!inGroup || eq < 0 || line.left(eq).trimmed() != key)
            continue;
        const QString value = line.mid(eq + 1).trimmed();
        QString out;
        for (int i = 0; i < value.size(); ++i) {
            if (value.at(i) == QLatin1Char('\\') && i + 1 < value.size())
                ++i;
            out += value.at(i);
        }
        return out;
    }
    return {};
}

QString Settings::read(const QString &section, const QString &key, const QString &defaultValue) const
{
    const QString group = findCaseless(m_store->childGroups(), section);
    if (group.isEmpty())
        return defaultValue;
    m_store->beginGroup(group);
    const QString stored = findCaseless(m_store->childKeys(), key);
    QVariant v;
    if (!stored.isEmpty())
        v = m_store->value(stored);
    m_store->endGroup();
    if (stored.isEmpty())
        return defaultValue;
    // An unquoted value holding a comma comes back as a list with its blanks
    // trimmed; it is one path, so take the line as it stands in the file.
    if (v.typeId() == QMetaType::QStringList) {
        const QString raw = rawIniValue(m_store->fileName(), group, stored);
        return raw.isNull() ? v.toStringList().join(QLatin1Char(',')) : raw;
    }
    return v.toString();
}

void Settings::write(const QString &section, const QString &key, const QString &value)
{
    QString group = findCaseless(m_store->childGroups(), section);
    if (group.isEmpty())
        group = section;
    m_store->beginGroup(group);
    // Drop every spelling of the key first, so that one entry remains.
    for (const QString &k : m_store->childKeys())
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            m_store->remove(k);
    m_store->setValue(key, value);
    m_store->endGroup();
}

bool Settings::sync(Failure *why)
{
    m_store->sync();
    if (m_store->status() == QSettings::NoError)
        return true;
    const QString file = QDir::toNativeSeparators(fileName());
    return fail(why,
                Failure::plain(m_store->status() == QSettings::AccessError
                                   ? QStringLiteral("The settings cannot be saved in \"%1\": the file or its folder "
                                                    "cannot be written.")
                                         .arg(file)
                                   : QStringLiteral("The settings file \"%1\" cannot be read.").arg(file)));
}

bool Settings::writeChecked(const QString &section, const QList<std::pair<QString, QString>> &values, Failure *why)
{
    struct Before
    {
        QString key; // as the file spells it; empty when absent
        QVariant value;
    };
    QList<Before> before;
    const QString group = findCaseless(m_store->childGroups(), section);
    if (!group.isEmpty())
        m_store->beginGroup(group);
    for (const auto &[key, value] : values) {
        const QString stored = group.isEmpty() ? QString() : findCaseless(m_store->childKeys(), key);
        before.append({stored, stored.isEmpty() ? QVariant() : m_store->value(stored)});
    }
    if (!group.isEmpty())
        m_store->endGroup();

    for (const auto &[key, value] : values)
        write(section, key, value);
    if (sync(why))
        return true;
    m_store->beginGroup(group.isEmpty() ? section : group);
    for (qsizetype i = 0; i < values.size(); ++i) {
        m_store->remove(values.at(i).first);
        if (!before.at(i).key.isEmpty())
            m_store->setValue(before.at(i).key, before.at(i).value);
    }
    m_store->endGroup();
    return false;
}

QString Settings::fileName() const
{
    return m_store->fileName();
}

} // namespace core
