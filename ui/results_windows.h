#pragma once

#include <QDialog>

#include "app/session.h"
#include "ui/dialog_template.h"
#include "ui/run_starter.h"

class QListWidget;

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

    // The window keeps the run's result; the starter belongs to the opener and outlives it.
    CFailedDlg(RunResult result, RunStarter& runs, QWidget* parent = nullptr);

    void OnView();
    void OnResubmit();
    void OnOK();

    const DialogControls& controls() const { return controls_; }
    // The failures shown and the requests Re-Submit sends: the latest run's that failed.
    const RunResult& runResult() const { return result_; }

protected:
    void accept() override;
    void reject() override;

private:
    void ShowFailureLines();

    DialogControls controls_;
    QListWidget* list_;
    RunResult result_;
    RunStarter& runs_;
};

}  // namespace quaymark::ui
