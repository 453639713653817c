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
    // `table` is the table written; an empty name: any table may have changed.
    void announce(const QString &table = {}) { emit changed(table); }

signals:
    void changed(const QString &table);
};

// The main database's announcer.
Registers &registers();

} // namespace core::db
