#include "ui/main_window.h"

#include "ui/submit_list.h"

namespace quaymark::ui {

CSubmitDlg::CSubmitDlg(QWidget* parent) : QDialog(parent) {}

bool CSubmitDlg::SubmitList(const std::vector<std::string>& entries, std::uint8_t mode) {
    return ui::SubmitList(*this, entries, mode, this);
}

}  // namespace quaymark::ui
