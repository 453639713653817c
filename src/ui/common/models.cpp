#include "ui/common/models.h"

#include "core/db/datasource.h"

namespace ui {

ListedField::ListedField(DataSource *source, const QString &field, QObject *parent)
    : QSortFilterProxyModel(parent)
    , m_source(source)
    , m_field(field)
{
    setSourceModel(source->model());
}

bool ListedField::filterAcceptsColumn(int column, const QModelIndex &) const
{
    return column == m_source->column(m_field);
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
