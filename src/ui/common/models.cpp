#include "ui/common/models.h"

#include "core/db/datasource.h"

namespace ui {

ListedField::ListedField(DataSource *source, const QString &field, QObject *parent)
    : QAbstractListModel(parent)
    , m_rows(source->model())
    , m_source(source)
    , m_field(field)
{
    // The rows behind change by a new query, or grow once a count left for later is made.
    connect(m_rows, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(m_rows, &QAbstractItemModel::modelReset, this, [this] {
        m_column = m_source->column(m_field);
        endResetModel();
    });
    connect(m_rows, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex &, int first, int last) { beginInsertRows({}, first, last); });
    connect(m_rows, &QAbstractItemModel::rowsInserted, this, [this] { endInsertRows(); });
    m_column = m_source->column(m_field);
}

int ListedField::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || m_column < 0 ? 0 : m_rows->rowCount();
}

QModelIndex ListedField::index(int row, int column, const QModelIndex &parent) const
{
    // A view lays a long list out by asking for every row's index: the bounds as
    // cheaply as they can be had.
    return !parent.isValid() && column == 0 && row >= 0 && m_column >= 0 && row < m_rows->rowCount()
        ? createIndex(row, 0)
        : QModelIndex();
}

QVariant ListedField::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() != 0)
        return {};
    return m_rows->index(index.row(), m_column).data(role);
}

CaptionedColumns::CaptionedColumns(QAbstractItemModel *source, const QStringList &captions, QObject *parent)
    : QIdentityProxyModel(parent)
    , m_captions(captions)
{
    setSourceModel(source);
}

int CaptionedColumns::columnCount(const QModelIndex &parent) const
{
    return !parent.isValid() && bare() ? int(m_captions.size()) : QIdentityProxyModel::columnCount(parent);
}

QVariant CaptionedColumns::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && bare() && section >= 0 && section < m_captions.size())
        return role == Qt::DisplayRole ? QVariant(m_captions.at(section)) : QVariant();
    return QIdentityProxyModel::headerData(section, orientation, role);
}

} // namespace ui
