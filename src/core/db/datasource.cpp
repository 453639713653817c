#include "core/db/datasource.h"
#include "core/db/database.h"
#include "core/db/rowwindow.h"

#include <QItemSelectionModel>

namespace core::db {

DataSource::DataSource(QObject *parent)
    : QObject(parent)
    , m_model(new RowWindow(this))
{
}

DataSource::~DataSource() = default;

QAbstractItemModel *DataSource::model() const
{
    return m_model;
}

bool DataSource::refresh(bool countLater)
{
    m_current = -1;
    if (!hasQuery()) {
        m_failure = {0, QStringLiteral("The data source has no query."), {}};
        return false;
    }
    Failure why;
    const bool read = m_model->load(m_query, &why, countLater);
    m_failure = read ? Failure() : why;
    if (read && m_model->rowCount() > 0)
        m_current = 0;
    emit refreshed();
    return read;
}

void DataSource::countRest()
{
    m_model->countNow();
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
    return m_model->column(name);
}

QVariant DataSource::field(const QString &name) const
{
    return value(m_current, name);
}

QVariant DataSource::value(int row, const QString &name) const
{
    return m_model->value(row, column(name));
}

bool DataSource::isEmpty() const
{
    return m_model->rowCount() == 0;
}

qint64 DataSource::count() const
{
    return m_model->exactCount();
}

int DataSource::findRow(const QString &columnName, const QVariant &wanted) const
{
    return m_model->findRow(columnName, wanted);
}

} // namespace core::db
