#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace quaymark::ui {

// The program's pictures, drawn by code at any device-pixel ratio so that they stay sharp:
// "bitmap133" globe, "bitmap134" blue arrow, "bitmap136" check mark, "bitmap138" light bulb,
// "bitmap147" splash picture, "bitmap177" purple arrow, "bitmap187" question bubble,
// "icon128" the application icon (32 x 32).
QPixmap Artwork(const QString& name, qreal devicePixelRatio);

// The animation clip "clip104": a globe that dissolves into scattered dots and forms again.
inline constexpr int kClipFrameCount = 41;
inline constexpr int kClipFrameMilliseconds = 40;
QImage ClipFrame(const QString& name, int frame, qreal devicePixelRatio);

// Icon 128 at 16 and 32 pixels, for windows and the application.
QIcon ApplicationIcon();

// Icon 128 drawn at any size, for the desktop's icon theme.
QImage IconImage(int pixels, qreal devicePixelRatio = 1.0);

}  // namespace quaymark::ui
