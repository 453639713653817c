#pragma once
#include "ui/common/corenames.h"
#include <QIdentityProxyModel>
#include <QSortFilterProxyModel>
#include <QStringList>

namespace core::db {
class DataSource;
}

namespace ui {

// The one field a list shows, as the model of its view: assistive technology walks
// every column of a view's model, so a list over the whole query would read each
// row's id, flags and other fields too. Rows stay the query's rows, in its order, so
// the data source's row (and its id) is the row chosen in the list.
class ListedField : public QSortFilterProxyModel
{
public:
    ListedField(DataSource *source, const QString &field, QObject *parent);

protected:
    bool filterAcceptsColumn(int column, const QModelIndex &parent) const override;
    bool filterAcceptsRow(int, const QModelIndex &) const override { return true; }

private:
    DataSource *m_source;
    QString m_field;
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
