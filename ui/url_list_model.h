#pragma once

#include <QAbstractListModel>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/url_list.h"

namespace quaymark::ui {

// The main window's list as its view shows it: each entry's bytes, shown as text only for the
// rows on screen, so that nothing the window does grows with the list but what changes it.
class UrlListModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    const UrlList& list() const { return list_; }
    void Append(std::string entry);
    // The entries on these rows leave the list.
    void RemoveRow(int row);
    // Removes every entry among these; returns how many left.
    std::size_t RemoveEntries(const std::unordered_set<std::string>& entries);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    UrlList list_;
};

}  // namespace quaymark::ui
