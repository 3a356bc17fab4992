#include "ui/progress_window.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <climits>

#include "ui/byte_text.h"
#include "ui/clip_player.h"

namespace quaymark::ui {
namespace {

// Stops the program if a widget is about to be touched off its thread; on in every build.
void RequireUiThread(const QObject* widget) {
    if (QThread::currentThread() != widget->thread()) {
        qFatal("a widget was touched off the UI thread");
    }
}

}  // namespace

CProgressDlg::CProgressDlg(QWidget* owner)
    : QDialog(owner),
      controls_(BuildDialog(*this, kTemplateId)),
      addressText_(controls_.Get<QLabel>("address")),
      engineText_(controls_.Get<QLabel>("engine")),
      statusText_(controls_.Get<QLabel>("status")),
      bar_(controls_.Get<QProgressBar>("bar")) {
    // While a run is under way the other windows take no input: no second run can start and
    // the e-mail address the run carries cannot change.
    setWindowModality(Qt::ApplicationModal);
    // The texts a run fills in show one line each, cut at the control's edge.
    for (QLabel* text : {addressText_, engineText_, statusText_}) {
        text->setWordWrap(false);
    }
    connect(controls_.Get<QPushButton>("cancel"), &QPushButton::clicked, this,
            &CProgressDlg::OnCancel);
    frame_.setSingleShot(true);
    frame_.setInterval(kFrameMilliseconds);
    connect(&frame_, &QTimer::timeout, this, &CProgressDlg::ShowLatest);
    connect(controls_.Get<ClipPlayer>("animation"), &ClipPlayer::frameAdvanced, this,
            &CProgressDlg::ShowLatest);
    ApplyRange(shown_.stepsPerEntry, shown_.extraSteps);
}

template <typename Change>
void CProgressDlg::Update(Change change) {
    bool wake = false;
    {
        const std::lock_guard lock(stateMutex_);
        change(state_);
        wake = !showPending_ && !followedByClip_;
        showPending_ = true;
    }
    if (wake) {
        QMetaObject::invokeMethod(this, &CProgressDlg::ShowSoon, Qt::QueuedConnection);
    }
}

void CProgressDlg::RunStarted(int itemCount, int stepsPerItem, int extraSteps) {
    Update([&](RunState& state) {
        state.shown = true;
        state.addressCount = itemCount;
        state.stepsPerEntry = stepsPerItem;
        state.extraSteps = extraSteps;
        state.steps = 0;
    });
}

void CProgressDlg::AddressStarted(const std::string& item) {
    Update([&](RunState& state) { state.address = item; });
}

void CProgressDlg::EngineStarted(std::string_view engine) {
    Update([&](RunState& state) { state.engine.assign(engine); });
}

void CProgressDlg::RequestDone() {
    Update([](RunState& state) { ++state.steps; });
}

// The status line shows the latest failure, but for an address an engine calls invalid.
void CProgressDlg::FailureRecorded(const FailureRecord& failure) {
    if (failure.verdict != SubmitVerdict::AddressRefused) {
        Update([&](RunState& state) { state.status = state.failureStatus = failure.text; });
    }
}

void CProgressDlg::WaitStarted(std::string_view engine, std::chrono::seconds wait,
                               std::string_view why) {
    Update([&](RunState& state) {
        state.status = std::string(engine) + ": waiting " + std::to_string(wait.count()) + " s (" +
                       std::string(why) + ")";
    });
}

void CProgressDlg::WaitEnded() {
    Update([](RunState& state) { state.status = state.failureStatus; });
}

void CProgressDlg::RunEnded() {
    Update([](RunState& state) { state.shown = false; });
}

void CProgressDlg::ShowSoon() {
    if (!frame_.isActive()) {
        frame_.start();
    }
}

void CProgressDlg::ShowLatest() {
    RequireUiThread(this);
    RunState latest;
    {
        const std::lock_guard lock(stateMutex_);
        if (!showPending_) {
            return;  // nothing new since the last frame
        }
        latest = state_;
        showPending_ = false;
        followedByClip_ = latest.shown;
    }
    if (latest.addressCount != m_nAddressCount || latest.stepsPerEntry != shown_.stepsPerEntry ||
        latest.extraSteps != shown_.extraSteps) {
        m_nAddressCount = latest.addressCount;
        ApplyRange(latest.stepsPerEntry, latest.extraSteps);
    }
    const std::pair<QLabel*, const std::string RunState::*> texts[] = {
        {addressText_, &RunState::address},
        {engineText_, &RunState::engine},
        {statusText_, &RunState::status},
    };
    for (const auto& [label, text] : texts) {
        if (latest.*text != shown_.*text) {
            label->setText(DisplayText(latest.*text));
        }
    }
    bar_->setValue(static_cast<int>(std::min<long long>(latest.steps, bar_->maximum())));
    if (latest.shown != isVisible()) {
        setVisible(latest.shown);
    }
    shown_ = std::move(latest);
}

void CProgressDlg::ApplyRange(int stepsPerEntry, int extraSteps) {
    // The full int range: a run of any realistic size fills the bar exactly.
    const long long steps = TotalSteps(m_nAddressCount, stepsPerEntry, extraSteps);
    bar_->setRange(0, static_cast<int>(std::clamp<long long>(steps, 0, INT_MAX)));
    bar_->setValue(0);
}

void CProgressDlg::OnCancel() {
    emit cancelRequested();
}

void CProgressDlg::reject() {
    OnCancel();
}

}  // namespace quaymark::ui
