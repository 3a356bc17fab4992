#include "ui/history_model.h"

#include <QFont>

#include "ui/byte_text.h"

namespace quaymark::ui {

HistoryModel::HistoryModel(HistoryTable table, QObject* parent)
    : QAbstractTableModel(parent), table_(std::move(table)) {}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.rows.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(table_.columns.size());
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const HistoryTable::Row& row = table_.rows[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    if (role == Qt::DisplayRole) {
        return DisplayText(column == 0 ? row.address
                                       : row.cells[static_cast<std::size_t>(column - 1)]);
    }
    if (column != 0) {
        return {};
    }
    if (role == Qt::UserRole) {
        return QByteArray::fromStdString(row.address);
    }
    if (role == Qt::FontRole && (row.sentToday || row.leftSitemaps)) {
        QFont font;
        font.setBold(row.sentToday);
        font.setItalic(row.leftSitemaps);
        return font;
    }
    return {};
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    return QString::fromStdString(table_.columns[static_cast<std::size_t>(section)]);
}

}  // namespace quaymark::ui
