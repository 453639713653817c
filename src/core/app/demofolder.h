#pragma once
#include <QDir>
#include <QLockFile>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace core {

// The throwaway folder of `--demo`, removed with this object. A lock inside tells
// other starts that its owner still runs: a folder left by a demo that was killed
// (so never cleaned up) is removed when the next demo starts.
class DemoFolder
{
public:
    explicit DemoFolder(const QString &parent = QDir::tempPath());
    ~DemoFolder();

    bool isValid() const { return m_lock && m_lock->isLocked(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace core
