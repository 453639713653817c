#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "core/app/failure.h"

namespace core::db {

// One record of a table being added or changed by an editor: load or start it,
// change its columns, then write it (INSERT or UPDATE with bound values) or cancel.
class RecordSource
{
public:
    explicit RecordSource(const QString &table);

    QString table() const { return m_table; }

    // Starts a new record with every column empty; nothing is written yet.
    void addNew();
    // Loads the row with this id. False when there is none or the read fails.
    bool loadById(qint64 id, Failure *why = nullptr);

    bool hasRecord() const { return m_hasRecord; }
    bool isNew() const { return m_isNew; }
    // The row's id; 0 for a new record until it is written.
    qint64 id() const { return m_id; }

    // Column names are matched without regard to case.
    QVariant value(const QString &column) const;
    void setValue(const QString &column, const QVariant &value);

    // Writes the new row or the changed columns, then announces the table written.
    // When the database refuses, the record keeps its values so that the user can retry.
    bool write(Failure *why = nullptr);
    // Drops every pending change.
    void cancel();

private:
    QString canonical(const QString &column) const;

    QString m_table;
    QStringList m_columns;
    QHash<QString, QVariant> m_values;
    QHash<QString, QVariant> m_loaded;
    bool m_hasRecord = false;
    bool m_isNew = false;
    qint64 m_id = 0;
};

} // namespace core::db
