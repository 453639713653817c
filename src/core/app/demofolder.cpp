#include "core/app/demofolder.h"

#include <QDateTime>
#include <QFileInfo>

namespace core {

namespace {

const QString kPrefix = QStringLiteral("quillbern-demo-");
const QString kLockName = QStringLiteral("demo.lock");

void removeAbandoned(const QString &parent)
{
    const QFileInfoList found = QDir(parent).entryInfoList({kPrefix + QLatin1Char('*')},
                                                           QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QFileInfo &folder : found) {
        const QFileInfo lockInfo(QDir(folder.filePath()).filePath(kLockName));
        if (lockInfo.isSymLink())
            continue;
        // A folder without its lock may be one that another start is just making.
        if (!lockInfo.exists() && folder.lastModified().secsTo(QDateTime::currentDateTime()) < 60)
            continue;
        QLockFile lock(lockInfo.filePath());
        // Never stale by age: a demo may run for days. Only a dead owner frees it.
        lock.setStaleLockTime(0);
        if (lock.tryLock(0))
            QDir(folder.filePath()).removeRecursively();
    }
}

QString templateIn(const QString &parent)
{
    removeAbandoned(parent);
    return QDir(parent).filePath(kPrefix + QStringLiteral("XXXXXX"));
}

} // namespace

DemoFolder::DemoFolder(const QString &parent)
    : m_dir(templateIn(parent))
{
    if (!m_dir.isValid())
        return;
    m_lock = std::make_unique<QLockFile>(m_dir.filePath(kLockName));
    m_lock->setStaleLockTime(0);
    m_lock->tryLock(0);
}

DemoFolder::~DemoFolder()
{
    m_lock.reset(); // unlocked before the folder goes
}

} // namespace core
