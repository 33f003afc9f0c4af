// The list's model: a read-only table over the engine's rows. It keeps its
// own row count so that the view always sees the count it was told of, even
// while the engine's rows have already changed.
#pragma once

#include <QAbstractTableModel>

#include "engine/MonitorEngine.h"

namespace tarnwatch {

class RowsModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RowsModel(const MonitorEngine& engine, QObject* parent = nullptr)
        : QAbstractTableModel(parent), engine_(engine) {}

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void Reset();
    void RowChanged(int row);
    // The rows from `first` to `last` show other data; no row came or went.
    void RowsChanged(int first, int last);
    void RowsInserted(int first, int count);
    void RowRemoved(int row);
    void RowMoved(int from, int to);

private:
    const MonitorEngine& engine_;
    int count_ = 0;
};

}  // namespace tarnwatch
