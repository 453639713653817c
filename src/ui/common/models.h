#pragma once
#include "ui/common/corenames.h"
#include <QAbstractListModel>
#include <QIdentityProxyModel>
#include <QStringList>

namespace core::db {
class DataSource;
}

namespace ui {

// The one field a list shows, as the model of its view: assistive technology walks
// every column of a view's model, so a list over the whole query would read each
// row's id, flags and other fields too. Rows stay the query's rows, in its order, so
// the data source's row (and its id) is the row chosen in the list. Nothing is
// mapped row by row, so a long list costs no more than a short one.
class ListedField : public QAbstractListModel
{
public:
    ListedField(DataSource *source, const QString &field, QObject *parent);

    int rowCount(const QModelIndex &parent = {}) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    QAbstractItemModel *m_rows;
    DataSource *m_source;
    QString m_field;
    int m_column = -1; // of m_field, found again at each new query
};

// A grid's model that keeps its column captions while the query behind it has no
// columns: before it has run, and after it failed.
class CaptionedColumns : public QIdentityProxyModel
{
public:
    CaptionedColumns(QAbstractItemModel *source, const QStringList &captions, QObject *parent);

    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    bool bare() const { return sourceModel()->columnCount() == 0; }
    QStringList m_captions;
};

} // namespace ui
