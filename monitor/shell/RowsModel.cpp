// The list's model.
#include "shell/RowsModel.h"

#include "res/StringTable.h"
#include "shell/Pictures.h"

namespace tarnwatch {

int RowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(engine_.Rows().size());
}

int RowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant RowsModel::data(const QModelIndex& index, int role) const {
    const auto& rows = engine_.Rows();
    if (!index.isValid() || index.row() >= static_cast<int>(rows.size())) return {};
    const RowView& row = rows[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromLocal8Bit(row.cells[static_cast<std::size_t>(index.column())]);
        case Qt::DecorationRole:
            if (index.column() == kColAddress) return RowImagePixmap(row.image);
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant RowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    if (section < 0 || section >= kColumnCount) return {};
    return QString::fromLatin1(LoadString(IDS_COL_ADDRESS + section));
}

void RowsModel::Reset() {
    beginResetModel();
    endResetModel();
}

void RowsModel::RowChanged(int row) {
    emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
}

}  // namespace tarnwatch
