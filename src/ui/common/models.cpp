#include "ui/common/models.h"

#include "core/db/datasource.h"

namespace ui {

ListedField::ListedField(DataSource *source, const QString &field, QObject *parent)
    : QAbstractListModel(parent)
    , m_rows(source->model())
    , m_source(source)
    , m_field(field)
{
    // The rows behind only ever change by a new query.
    connect(m_rows, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(m_rows, &QAbstractItemModel::modelReset, this, [this] { endResetModel(); });
}

int ListedField::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || m_source->column(m_field) < 0 ? 0 : m_rows->rowCount();
}

QVariant ListedField::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() != 0)
        return {};
    return m_rows->index(index.row(), m_source->column(m_field)).data(role);
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
