#pragma once
#include <QObject>
#include <QString>

namespace core::db {

// Tells whoever shows the registers that a change was committed, so that they can
// re-read. Writers announce; windows listen and never refresh one another.
class Registers : public QObject
{
    Q_OBJECT
public:
    enum Change { Written, Deleted };
    Q_ENUM(Change)

    // `table` is the table changed; an empty name: any table may have changed.
    void announce(const QString &table = {}, Change how = Written) { emit changed(table, how); }

signals:
    void changed(const QString &table, core::db::Registers::Change how);
};

// The main database's announcer.
Registers &registers();

} // namespace core::db
