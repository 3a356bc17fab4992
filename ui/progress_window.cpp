#include "ui/progress_window.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <climits>

#include "ui/byte_text.h"
#include "ui/thread_bridge.h"

namespace quaymark::ui {

CProgressDlg::CProgressDlg(QWidget* owner) : QDialog(owner), m_calls(new UiCallQueue(this)) {
    m_controls = BuildDialog(*this, kTemplateId);
    // While a run is under way the other windows take no input: no second run can start and
    // the e-mail address the worker reads cannot change.
    setWindowModality(Qt::ApplicationModal);
    // The texts a run fills in show one line each, cut at the control's edge.
    for (const int id : {kAddressTextId, kEngineTextId, kStatusTextId}) {
        m_controls.Get<QLabel>(id)->setWordWrap(false);
    }
    connect(m_controls.Get<QPushButton>(kCancelId), &QPushButton::clicked, this,
            &CProgressDlg::OnCancel);
    ApplyRange();
}

void CProgressDlg::ApplyRange() {
    RequireUiThread(this);
    // The full int range: a run of any realistic size fills the bar exactly.
    const long long steps = static_cast<long long>(m_nAddressCount) * m_nStepsPerEntry;
    auto* bar = m_controls.Get<QProgressBar>(kBarId);
    bar->setRange(0, static_cast<int>(std::clamp<long long>(steps, 0, INT_MAX)));
    bar->setValue(0);
}

void CProgressDlg::SetAddressCount(int count, int stepsPerEntry) {
    m_calls->Run([this, count, stepsPerEntry] {
        m_nAddressCount = count;
        m_nStepsPerEntry = stepsPerEntry;
        ApplyRange();
    });
}

void CProgressDlg::Show() {
    m_calls->Run([this] {
        RequireUiThread(this);
        show();
    });
}

void CProgressDlg::Hide() {
    m_calls->Run([this] {
        RequireUiThread(this);
        hide();
    });
}

void CProgressDlg::SetText(int controlId, const std::string& text) {
    m_calls->Run([this, controlId, shown = DisplayText(text)] {
        RequireUiThread(this);
        m_controls.Get<QLabel>(controlId)->setText(shown);
    });
}

void CProgressDlg::StepProgress() {
    m_calls->Run([this] {
        RequireUiThread(this);
        auto* bar = m_controls.Get<QProgressBar>(kBarId);
        bar->setValue(std::min(bar->value() + 1, bar->maximum()));
    });
}

void CProgressDlg::PumpMessages(Wait wait) {
    if (QThread::currentThread() == thread()) {
        QCoreApplication::processEvents(wait == Wait::ForEvent ? QEventLoop::WaitForMoreEvents
                                                               : QEventLoop::AllEvents);
    }
}

bool CProgressDlg::PollCancel(Wait wait) {
    PumpMessages(wait);
    const bool requested = m_bCancelRequested;
    m_bCancelRequested = false;
    return requested;
}

void CProgressDlg::OnCancel() {
    m_bCancelRequested = true;
}

void CProgressDlg::reject() {
    OnCancel();
}

}  // namespace quaymark::ui
