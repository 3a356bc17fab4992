#pragma once

#include <QDialog>
#include <QTimer>
#include <mutex>
#include <string>

#include "app/session.h"
#include "ui/artwork.h"
#include "ui/dialog_template.h"

class QLabel;
class QProgressBar;

namespace quaymark::ui {

// The window that stays on screen while a run is under way. It follows the run: the worker
// tells it what happens (RunObserver, from the worker thread), it keeps the latest state, and
// the UI thread shows that state at most once per frame, so the worker never waits for a
// window. Cancel, Esc and the close box only ask for the run to stop.
class CProgressDlg : public QDialog, public RunObserver {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 129;
    // What the worker changes within one frame of the window's animation is shown at once.
    static constexpr int kFrameMilliseconds = kClipFrameMilliseconds;

    // Created hidden, owned by the given window (or by none).
    explicit CProgressDlg(QWidget* owner);

    // RunObserver, from the worker thread.
    void RunStarted(int itemCount, int stepsPerItem, int extraSteps) override;
    void AddressStarted(const std::string& item) override;
    void EngineStarted(std::string_view engine) override;
    void RequestDone() override;
    void FailureRecorded(const FailureRecord& failure) override;
    void WaitStarted(std::string_view engine, std::chrono::seconds wait,
                     std::string_view why) override;
    void WaitEnded() override;
    void RunEnded() override;

    // Cancel, Esc and the close box only record the request.
    void OnCancel();

    const DialogControls& controls() const { return controls_; }

    int m_nAddressCount = 1;

signals:
    void cancelRequested();

protected:
    void reject() override;

private:
    // The run as the worker last left it. The count of addresses shown is m_nAddressCount.
    struct RunState {
        bool shown = false;
        int addressCount = 1;
        // The window's range until a run tells its own: the seven engines of one address.
        int stepsPerEntry = 7;
        int extraSteps = 0;
        long long steps = 0;
        std::string address;
        std::string engine;
        // The status line: a wait while there is one, else the latest failure.
        std::string status;
        std::string failureStatus;
    };

    // Worker side: change the state, and have the UI thread show it unless it is due anyway:
    // while the window is on screen, its animation's next frame shows the latest state in the
    // same paint, and the worker wakes nobody.
    template <typename Change>
    void Update(Change change);
    // UI side.
    void ShowSoon();
    void ShowLatest();
    void ApplyRange(int stepsPerEntry, int extraSteps);

    DialogControls controls_;
    QLabel* addressText_;
    QLabel* engineText_;
    QLabel* statusText_;
    QProgressBar* bar_;
    QTimer frame_;
    std::mutex stateMutex_;
    RunState state_;
    bool showPending_ = false;
    bool followedByClip_ = false;
    // What the window shows now.
    RunState shown_;
};

}  // namespace quaymark::ui
