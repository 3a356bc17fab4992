#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "engine/submit_run.h"
#include "ui/dialog_template.h"
#include "ui/submit_list.h"

namespace quaymark::ui {

// The notice that every address was submitted.
class CDoneDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 135;
    explicit CDoneDlg(QWidget* parent = nullptr);
};

// The failures of a run: View opens a failure's saved answer page, Re-Submit sends every
// failed request again, OK sweeps the error pages away and closes.
class CFailedDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 136;
    static constexpr int kListId = 1011;
    static constexpr int kViewId = 2;
    static constexpr int kResubmitId = 3;

    // The lists and the starter belong to the opener and outlive the window.
    CFailedDlg(const std::vector<std::string>& failureList,
               const std::vector<std::string>& resubmitList, RunStarter& runs,
               QWidget* parent = nullptr);
    ~CFailedDlg() override;

    void OnView();
    void OnResubmit();
    void OnOK();

    const DialogControls& controls() const { return m_controls; }

    const std::vector<std::string>* m_pFailureList;
    const std::vector<std::string>* m_pResubmitList;

protected:
    void accept() override;
    void reject() override;

private:
    void ShowFailureLines();

    DialogControls m_controls;
    // The results of a re-submission that failed again, held until the window closes.
    RunResult m_resubmitResults;
    RunStarter& m_runs;
};

}  // namespace quaymark::ui
