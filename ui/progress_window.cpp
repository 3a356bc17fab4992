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
      m_controls(BuildDialog(*this, kTemplateId)),
      m_addressText(m_controls.Get<QLabel>("address")),
      m_engineText(m_controls.Get<QLabel>("engine")),
      m_statusText(m_controls.Get<QLabel>("status")),
      m_bar(m_controls.Get<QProgressBar>("bar")) {
    // While a run is under way the other windows take no input: no second run can start and
    // the e-mail address the run carries cannot change.
    setWindowModality(Qt::ApplicationModal);
    // The texts a run fills in show one line each, cut at the control's edge.
    for (QLabel* text : {m_addressText, m_engineText, m_statusText}) {
        text->setWordWrap(false);
    }
    connect(m_controls.Get<QPushButton>("cancel"), &QPushButton::clicked, this,
            &CProgressDlg::OnCancel);
    m_frame.setSingleShot(true);
    m_frame.setInterval(kFrameMilliseconds);
    connect(&m_frame, &QTimer::timeout, this, &CProgressDlg::ShowLatest);
    connect(m_controls.Get<ClipPlayer>("animation"), &ClipPlayer::frameAdvanced, this,
            &CProgressDlg::ShowLatest);
    ApplyRange(m_shown.stepsPerEntry);
}

template <typename Change>
void CProgressDlg::Update(Change change) {
    bool wake = false;
    {
        const std::lock_guard lock(m_stateMutex);
        change(m_state);
        wake = !m_showPending && !m_followedByClip;
        m_showPending = true;
    }
    if (wake) {
        QMetaObject::invokeMethod(this, &CProgressDlg::ShowSoon, Qt::QueuedConnection);
    }
}

void CProgressDlg::RunStarted(int itemCount, int stepsPerItem) {
    Update([&](RunState& state) {
        state.shown = true;
        state.addressCount = itemCount;
        state.stepsPerEntry = stepsPerItem;
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
    if (failure.verdict != SubmitVerdict::InvalidUrl) {
        Update([&](RunState& state) { state.status = failure.text; });
    }
}

void CProgressDlg::RunEnded() {
    Update([](RunState& state) { state.shown = false; });
}

void CProgressDlg::ShowSoon() {
    if (!m_frame.isActive()) {
        m_frame.start();
    }
}

void CProgressDlg::ShowLatest() {
    RequireUiThread(this);
    RunState latest;
    {
        const std::lock_guard lock(m_stateMutex);
        if (!m_showPending) {
            return;  // nothing new since the last frame
        }
        latest = m_state;
        m_showPending = false;
        m_followedByClip = latest.shown;
    }
    if (latest.addressCount != m_shown.addressCount ||
        latest.stepsPerEntry != m_shown.stepsPerEntry) {
        m_nAddressCount = latest.addressCount;
        ApplyRange(latest.stepsPerEntry);
    }
    const std::pair<QLabel*, const std::string RunState::*> texts[] = {
        {m_addressText, &RunState::address},
        {m_engineText, &RunState::engine},
        {m_statusText, &RunState::status},
    };
    for (const auto& [label, text] : texts) {
        if (latest.*text != m_shown.*text) {
            label->setText(DisplayText(latest.*text));
        }
    }
    m_bar->setValue(static_cast<int>(std::min<long long>(latest.steps, m_bar->maximum())));
    if (latest.shown != isVisible()) {
        setVisible(latest.shown);
    }
    m_shown = std::move(latest);
}

void CProgressDlg::ApplyRange(int stepsPerEntry) {
    // The full int range: a run of any realistic size fills the bar exactly.
    const long long steps = static_cast<long long>(m_nAddressCount) * stepsPerEntry;
    m_bar->setRange(0, static_cast<int>(std::clamp<long long>(steps, 0, INT_MAX)));
    m_bar->setValue(0);
}

void CProgressDlg::OnCancel() {
    emit cancelRequested();
}

void CProgressDlg::reject() {
    OnCancel();
}

}  // namespace quaymark::ui
