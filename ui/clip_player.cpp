#include "ui/clip_player.h"

#include <QPainter>

#include "ui/artwork.h"

namespace quaymark::ui {

ClipPlayer::ClipPlayer(const QString& clipName, QWidget* parent) : QWidget(parent) {
    const qreal dpr = devicePixelRatioF();
    frames_.reserve(kClipFrameCount);
    for (int i = 0; i < kClipFrameCount; ++i) {
        frames_.push_back(ClipFrame(clipName, i, dpr));
    }
    timer_.setInterval(kClipFrameMilliseconds);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &ClipPlayer::Advance);
}

void ClipPlayer::showEvent(QShowEvent*) {
    timer_.start();
}

void ClipPlayer::hideEvent(QHideEvent*) {
    timer_.stop();
}

void ClipPlayer::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage& image = frames_[static_cast<std::size_t>(frame_)];
    const QSizeF size = image.deviceIndependentSize();
    painter.drawImage(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), image);
}

void ClipPlayer::Advance() {
    frame_ = (frame_ + 1) % kClipFrameCount;
    update();
}

}  // namespace quaymark::ui
