#pragma once

#include <QDialog>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/submit_run.h"

namespace quaymark::ui {

// The main window. It holds the run results (FailureList, ResubmitList) and the e-mail
// address that every run reads.
class CSubmitDlg : public QDialog, public SubmitResults {
    Q_OBJECT

public:
    explicit CSubmitDlg(QWidget* parent = nullptr);

    // Runs one submission over the entries; true when some request failed.
    bool SubmitList(const std::vector<std::string>& entries, std::uint8_t mode);
};

}  // namespace quaymark::ui
