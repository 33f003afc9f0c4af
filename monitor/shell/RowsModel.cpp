// The list's model.
#include "shell/RowsModel.h"

#include <algorithm>

#include "res/Pictures.h"
#include "res/QtText.h"
#include "res/StringTable.h"

namespace tarnwatch {

int RowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count_;
}

int RowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant RowsModel::data(const QModelIndex& index, int role) const {
    const auto& rows = engine_.Rows();
    if (!index.isValid() || index.row() >= static_cast<int>(rows.size()) ||
        index.column() >= kColumnCount) {
        return {};
    }
    const RowView& row = rows[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromLocal8Bit(row.cells[static_cast<std::size_t>(index.column())]);
        case Qt::DecorationRole:
            if (index.column() == kColAddress) return RowImagePixmap(row.image);
            return {};
        case Qt::ToolTipRole: {
            const std::string tip = engine_.RowTip(index.row());
            return tip.empty() ? QVariant() : QVariant(QString::fromLocal8Bit(tip));
        }
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant RowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= kColumnCount) return {};
    return TableText(IDS_COL_ADDRESS + section);
}

void RowsModel::Reset() {
    beginResetModel();
    count_ = static_cast<int>(engine_.Rows().size());
    endResetModel();
}

void RowsModel::RowChanged(int row) {
    if (row < 0 || row >= count_) return;
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

void RowsModel::RowsChanged(int first, int last) {
    first = std::max(first, 0);
    last = std::min(last, count_ - 1);
    if (first > last) return;
    emit dataChanged(index(first, 0), index(last, kColumnCount - 1));
}

void RowsModel::RowsInserted(int first, int count) {
    if (first < 0 || first > count_ || count <= 0) return Reset();
    beginInsertRows({}, first, first + count - 1);
    count_ += count;
    endInsertRows();
}

void RowsModel::RowRemoved(int row) {
    if (row < 0 || row >= count_) return Reset();
    beginRemoveRows({}, row, row);
    --count_;
    endRemoveRows();
}

void RowsModel::RowMoved(int from, int to) {
    if (from < 0 || from >= count_ || to < 0 || to >= count_) return Reset();
    if (from == to) return RowChanged(from);
    // Qt names the place before which the row lands, counted before the move.
    if (!beginMoveRows({}, from, from, {}, to > from ? to + 1 : to)) return Reset();
    endMoveRows();
    RowChanged(to);
}

}  // namespace tarnwatch
