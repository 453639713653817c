#pragma once
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>

#include "core/db/queries.h"
#include "core/db/rowset.h"

class QAbstractItemModel;
class QItemSelectionModel;

namespace core::db {

class RowWindow;

// A query holder behind a list or grid: SQL text with bound values, a model on the
// main connection that holds a window of the rows, and a current row.
class DataSource : public QObject
{
    Q_OBJECT
public:
    explicit DataSource(QObject *parent = nullptr);
    ~DataSource() override;

    void setQuery(const QString &sql, const QVariantList &binds = {}) { setQuery(Query{sql, binds}); }
    void setQuery(const Query &query) { m_query = query; }
    bool hasQuery() const { return !m_query.sql.isEmpty(); }
    QString sql() const { return m_query.sql; }
    QVariantList binds() const { return m_query.binds; }
    Query query() const { return m_query; }

    // Re-runs the query; the first row becomes the current row. False when the
    // query fails (no query, database not open, SQL error); see lastFailure().
    // `countLater`: a long list's rows past its first page are counted by countRest(),
    // or when something needs them (see RowWindow::load).
    bool refresh(bool countLater = false);
    void countRest();
    Failure lastFailure() const { return m_failure; }

    QAbstractItemModel *model() const;

    int currentRow() const { return m_current; }
    bool setCurrentRow(int row);
    // The first selected row becomes the current row; fails when nothing is selected.
    bool setCurrentFromSelection(const QItemSelectionModel *selection);

    // Column index by name, ignoring case; -1 when absent.
    int column(const QString &name) const;
    // The named column of the current row (NULL when there is none).
    QVariant field(const QString &name) const;
    QVariant value(int row, const QString &name) const;

    bool isEmpty() const;
    // Rows of the query, counted by the database.
    qint64 count() const;
    // The row whose `column` equals `value`; -1 if none.
    int findRow(const QString &column, const QVariant &value) const;

signals:
    void refreshed();

private:
    RowWindow *m_model;
    Query m_query;
    int m_current = -1;
    Failure m_failure;
};

} // namespace core::db
