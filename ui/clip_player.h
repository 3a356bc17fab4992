#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <vector>

namespace quaymark::ui {

// Plays an animation clip from the first frame to the last, again and again, for as long as
// the control lives.
class ClipPlayer : public QWidget {
    Q_OBJECT

public:
    ClipPlayer(const QString& clipName, QWidget* parent);

    int currentFrame() const { return frame_; }

signals:
    // A new frame is due on screen: what else the window shows can change with it, in the
    // same paint.
    void frameAdvanced();

protected:
    void paintEvent(QPaintEvent* event) override;
    // The clip runs while it can be seen; a hidden window spends nothing on it.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Advance();

    const std::vector<QImage>& frames_;
    QTimer timer_;
    int frame_ = 0;
};

}  // namespace quaymark::ui
