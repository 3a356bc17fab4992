#pragma once

#include <QAbstractTableModel>

#include "app/history_table.h"

namespace quaymark::ui {

// The History window's table as a model: what the history holds of the list's pages, shown
// as it is asked for, the address bold when an engine had it within the last day and italic
// when it left every sitemap. The address's own bytes are its UserRole.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    HistoryModel(HistoryTable table, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const HistoryTable& table() const { return table_; }

private:
    HistoryTable table_;
};

}  // namespace quaymark::ui
