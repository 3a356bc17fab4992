#pragma once

#include <QDialog>
#include <string>

#include "engine/submit_run.h"
#include "ui/dialog_template.h"
#include "ui/thread_bridge.h"

namespace quaymark::ui {

// The window that stays on screen while a run is under way. The worker writes its texts and
// steps its bar through ProgressView, each call carried out on the UI thread; the starter
// polls it for the user's cancel request.
class CProgressDlg : public QDialog, public ProgressView {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 129;
    static constexpr int kBarId = 1012;
    static constexpr int kCancelId = 1013;
    static constexpr int kAnimationId = 1073;

    // Created hidden, owned by the given window (or by none).
    explicit CProgressDlg(QWidget* owner);

    // ProgressView, from any thread.
    void SetAddressCount(int count, int stepsPerEntry) override;
    void Show() override;
    void Hide() override;
    void SetText(int controlId, const std::string& text) override;
    void StepProgress() override;

    // Handles the UI thread's pending events, then reports and clears a cancel request. UI
    // thread only. It returns at once unless told to sleep until an event arrives when none
    // is pending, which is how the starter waits between polls without spinning.
    enum class Wait { No, ForEvent };
    bool PollCancel(Wait wait = Wait::No);
    void PumpMessages(Wait wait = Wait::No);

    // Cancel, Esc and the close box only record the request.
    void OnCancel();

    const DialogControls& controls() const { return m_controls; }
    // Carries the worker's window requests to the UI thread.
    UiCallQueue& calls() { return *m_calls; }

    int m_nAddressCount = 1;
    bool m_bCancelRequested = false;

protected:
    void reject() override;

private:
    void ApplyRange();

    DialogControls m_controls;
    UiCallQueue* m_calls;
    int m_nStepsPerEntry = static_cast<int>(EngineTable.size());
};

}  // namespace quaymark::ui
