#include "ui/url_list_model.h"

#include "ui/byte_text.h"

namespace quaymark::ui {

void UrlListModel::Append(std::string entry) {
    const int row = static_cast<int>(list_.size());
    beginInsertRows({}, row, row);
    list_.Append(std::move(entry));
    endInsertRows();
}

void UrlListModel::RemoveRow(int row) {
    beginRemoveRows({}, row, row);
    list_.RemoveAt(static_cast<std::size_t>(row));
    endRemoveRows();
}

std::size_t UrlListModel::RemoveEntries(const std::unordered_set<std::string>& entries) {
    const std::vector<std::size_t> rows = list_.RowsOf(entries);
    for (const std::size_t row : rows) {
        RemoveRow(static_cast<int>(row));
    }
    return rows.size();
}

int UrlListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(list_.size());
}

QVariant UrlListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const std::string& entry = list_.at(static_cast<std::size_t>(index.row()));
    if (role == Qt::DisplayRole) {
        return DisplayText(entry);
    }
    if (role == Qt::UserRole) {
        return QByteArray::fromStdString(entry);
    }
    return {};
}

}  // namespace quaymark::ui
