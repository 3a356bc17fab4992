#include "ui/clip_player.h"

#include <QPainter>
#include <map>

#include "ui/artwork.h"

namespace quaymark::ui {

namespace {

// Every run opens a new progress window; its clip is drawn once per scale and shared. The
// players hold references into the store, so it must never move what it holds.
const std::vector<QImage>& Frames(const QString& clipName, qreal dpr) {
    static std::map<QString, std::vector<QImage>> cache;
    const QString key = clipName + QLatin1Char('@') + QString::number(dpr);
    auto found = cache.find(key);
    if (found == cache.end()) {
        std::vector<QImage> frames;
        frames.reserve(kClipFrameCount);
        for (int i = 0; i < kClipFrameCount; ++i) {
            frames.push_back(ClipFrame(clipName, i, dpr));
        }
        found = cache.emplace(key, std::move(frames)).first;
    }
    return found->second;
}

}  // namespace

ClipPlayer::ClipPlayer(const QString& clipName, QWidget* parent)
    : QWidget(parent), frames_(Frames(clipName, devicePixelRatioF())) {
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
    emit frameAdvanced();
}

}  // namespace quaymark::ui
