#include "core/db/datasource.h"
#include "core/db/database.h"

#include <QItemSelectionModel>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>

namespace core::db {

DataSource::DataSource(QObject *parent)
    : QObject(parent)
    , m_model(new QSqlQueryModel(this))
{
}

DataSource::~DataSource() = default;

QAbstractItemModel *DataSource::model() const
{
    return m_model;
}

void DataSource::setQuery(const QString &sql, const QVariantList &binds)
{
    m_sql = sql;
    m_binds = binds;
    m_order.clear();
}

bool DataSource::refresh()
{
    m_current = -1;
    if (m_sql.isEmpty()) {
        m_failure = {0, QStringLiteral("The data source has no query."), {}};
        return false;
    }
    if (!db::mainIsOpen()) {
        m_failure = Failure::notOpen();
        m_model->clear();
        emit refreshed();
        return false;
    }
    QSqlQuery q(db::main());
    bool ok = q.prepare(m_sql);
    if (ok) {
        for (const QVariant &b : m_binds)
            q.addBindValue(b);
        ok = q.exec();
    }
    if (!ok) {
        m_failure = Failure::from(q.lastError());
        m_model->clear();
        emit refreshed();
        return false;
    }
    m_model->setQuery(std::move(q));
    if (m_model->lastError().isValid()) {
        m_failure = Failure::from(m_model->lastError());
        emit refreshed();
        return false;
    }
    m_failure = {};
    if (m_model->rowCount() > 0)
        m_current = 0;
    emit refreshed();
    return true;
}

bool DataSource::setCurrentRow(int row)
{
    if (row < 0 || row >= m_model->rowCount())
        return false;
    m_current = row;
    return true;
}

bool DataSource::setCurrentFromSelection(const QItemSelectionModel *selection)
{
    if (!selection)
        return false;
    const QItemSelection sel = selection->selection();
    for (const QItemSelectionRange &r : sel) {
        if (r.isValid())
            return setCurrentRow(r.top());
    }
    return false;
}

int DataSource::column(const QString &name) const
{
    return m_model->record().indexOf(name);
}

QVariant DataSource::field(const QString &name) const
{
    return value(m_current, name);
}

QVariant DataSource::value(int row, const QString &name) const
{
    const int c = column(name);
    if (c < 0 || row < 0 || row >= m_model->rowCount())
        return {};
    return m_model->record(row).value(c);
}

bool DataSource::isEmpty() const
{
    return m_model->rowCount() == 0 && !m_model->canFetchMore();
}

qint64 DataSource::count() const
{
    if (m_sql.isEmpty() || !db::mainIsOpen())
        return 0;
    QSqlQuery q(db::main());
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT count(*) FROM (%1) AS counted").arg(m_sql)))
        return 0;
    for (const QVariant &b : m_binds)
        q.addBindValue(b);
    if (!q.exec() || !q.next())
        return 0;
    return q.value(0).toLongLong();
}

int DataSource::findRow(const QString &columnName, const QVariant &wanted)
{
    const int c = column(columnName);
    if (c < 0)
        return -1;
    for (int row = 0;; ++row) {
        if (row >= m_model->rowCount()) {
            if (!m_model->canFetchMore())
                return -1;
            m_model->fetchMore();
            if (row >= m_model->rowCount())
                return -1;
        }
        if (m_model->index(row, c).data() == wanted)
            return row;
    }
}

} // namespace core::db
