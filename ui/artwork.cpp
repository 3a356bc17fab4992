#include "ui/artwork.h"

#include <QFont>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

#include "ui/program_title.h"

namespace quaymark::ui {
namespace {

QImage Canvas(QSize size, qreal dpr) {
    QImage image(size * dpr, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    return image;
}

void Smooth(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
}

// A globe of blue sea and green land inside the given square.
void DrawGlobe(QPainter& painter, const QRectF& box) {
    QRadialGradient sea(box.center() - QPointF(box.width() * 0.2, box.height() * 0.2),
                        box.width() * 0.7);
    sea.setColorAt(0, QColor(110, 170, 255));
    sea.setColorAt(1, QColor(10, 50, 160));
    painter.setPen(QPen(QColor(10, 30, 90), box.width() / 30.0));
    painter.setBrush(sea);
    painter.drawEllipse(box);

    painter.save();
    QPainterPath clip;
    clip.addEllipse(box);
    painter.setClipPath(clip);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(40, 160, 60));
    const qreal w = box.width();
    const qreal h = box.height();
    const QPointF o = box.topLeft();
    QPainterPath land;
    land.moveTo(o + QPointF(0.18 * w, 0.22 * h));
    land.cubicTo(o + QPointF(0.40 * w, 0.05 * h), o + QPointF(0.55 * w, 0.30 * h),
                 o + QPointF(0.42 * w, 0.45 * h));
    land.cubicTo(o + QPointF(0.35 * w, 0.60 * h), o + QPointF(0.45 * w, 0.80 * h),
                 o + QPointF(0.35 * w, 0.92 * h));
    land.cubicTo(o + QPointF(0.20 * w, 0.75 * h), o + QPointF(0.05 * w, 0.45 * h),
                 o + QPointF(0.18 * w, 0.22 * h));
    painter.drawPath(land);
    QPainterPath east;
    east.moveTo(o + QPointF(0.62 * w, 0.15 * h));
    east.cubicTo(o + QPointF(0.95 * w, 0.20 * h), o + QPointF(0.95 * w, 0.55 * h),
                 o + QPointF(0.75 * w, 0.62 * h));
    east.cubicTo(o + QPointF(0.60 * w, 0.55 * h), o + QPointF(0.70 * w, 0.35 * h),
                 o + QPointF(0.62 * w, 0.15 * h));
    painter.drawPath(east);
    painter.restore();
}

// An arrow pointing right, filling the box.
void DrawArrow(QPainter& painter, const QRectF& box, const QColor& light, const QColor& dark) {
    const qreal w = box.width();
    const qreal h = box.height();
    const QPointF o = box.topLeft();
    QPainterPath arrow;
    arrow.moveTo(o + QPointF(0, 0.32 * h));
    arrow.lineTo(o + QPointF(0.55 * w, 0.32 * h));
    arrow.lineTo(o + QPointF(0.55 * w, 0.05 * h));
    arrow.lineTo(o + QPointF(w, 0.5 * h));
    arrow.lineTo(o + QPointF(0.55 * w, 0.95 * h));
    arrow.lineTo(o + QPointF(0.55 * w, 0.68 * h));
    arrow.lineTo(o + QPointF(0, 0.68 * h));
    arrow.closeSubpath();
    QLinearGradient fill(box.topLeft(), box.bottomLeft());
    fill.setColorAt(0, light);
    fill.setColorAt(1, dark);
    painter.setPen(QPen(dark.darker(140), 1));
    painter.setBrush(fill);
    painter.drawPath(arrow);
}

QImage Globe(qreal dpr) {
    QImage image = Canvas(QSize(34, 36), dpr);
    QPainter painter(&image);
    Smooth(painter);
    DrawGlobe(painter, QRectF(1.5, 2.5, 31, 31));
    return image;
}

QImage PurpleArrow(qreal dpr) {
    QImage image = Canvas(QSize(51, 36), dpr);
    QPainter painter(&image);
    Smooth(painter);
    DrawArrow(painter, QRectF(2, 4, 47, 28), QColor(200, 120, 240), QColor(100, 20, 140));
    return image;
}

QImage BlueArrow(qreal dpr) {
    QImage image = Canvas(QSize(34, 36), dpr);
    QPainter painter(&image);
    Smooth(painter);
    DrawArrow(painter, QRectF(2, 8, 30, 20), QColor(120, 180, 255), QColor(20, 60, 170));
    return image;
}

QImage CheckMark(qreal dpr) {
    QImage image = Canvas(QSize(34, 36), dpr);
    QPainter painter(&image);
    Smooth(painter);
    QPainterPath tick;
    tick.moveTo(5, 19);
    tick.lineTo(13, 28);
    tick.lineTo(29, 7);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(130, 130, 130), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(tick.translated(2.5, 2.5));
    painter.setPen(QPen(QColor(30, 160, 40), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(tick);
    return image;
}

QImage QuestionBubble(qreal dpr) {
    QImage image = Canvas(QSize(37, 34), dpr);
    QPainter painter(&image);
    Smooth(painter);
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(1.5, 1.5, 34, 24), 9, 9);
    QPainterPath tail;
    tail.moveTo(9, 22);
    tail.lineTo(7, 32.5);
    tail.lineTo(19, 24);
    tail.closeSubpath();
    painter.setPen(QPen(QColor(40, 40, 40), 1.2));
    painter.setBrush(QColor(255, 255, 220));
    painter.drawPath(bubble.united(tail));
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(20);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(20, 60, 170));
    painter.drawText(QRectF(1.5, 1.5, 34, 24), Qt::AlignCenter, QStringLiteral("?"));
    return image;
}

QImage LightBulb(qreal dpr) {
    QImage image = Canvas(QSize(32, 32), dpr);
    QPainter painter(&image);
    Smooth(painter);
    QRadialGradient glow(QPointF(14, 10), 12);
    glow.setColorAt(0, QColor(255, 255, 200));
    glow.setColorAt(1, QColor(250, 210, 40));
    painter.setPen(QPen(QColor(120, 90, 0), 1));
    painter.setBrush(glow);
    QPainterPath glass;
    glass.addEllipse(QRectF(6, 1.5, 20, 20));
    QPainterPath neck;
    neck.addRect(QRectF(11, 17, 10, 6));
    painter.drawPath(glass.united(neck));
    painter.setBrush(QColor(150, 150, 160));
    painter.setPen(QPen(QColor(70, 70, 80), 1));
    for (int i = 0; i < 3; ++i) {
        painter.drawRoundedRect(QRectF(11, 23 + i * 2.5, 10, 2.5), 1, 1);
    }
    painter.drawEllipse(QRectF(14, 29.5, 4, 2));
    return image;
}

QImage Splash(qreal dpr) {
    const QSize size(360, 242);
    QImage image = Canvas(size, dpr);
    QPainter painter(&image);
    Smooth(painter);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor(20, 60, 160));
    sky.setColorAt(1, QColor(5, 20, 80));
    painter.fillRect(QRect(QPoint(0, 0), size), sky);
    // A pattern of rings, like ripples on the water of a quay.
    painter.setBrush(Qt::NoBrush);
    for (int y = 0; y < size.height() + 40; y += 40) {
        for (int x = (y / 40) % 2 * 30; x < size.width() + 60; x += 60) {
            for (int r = 6; r <= 24; r += 9) {
                painter.setPen(QPen(QColor(80, 140, 230, 70), 1.5));
                painter.drawEllipse(QPointF(x, y), r, r * 0.6);
            }
        }
    }
    QFont font(QStringLiteral("Liberation Sans"));
    font.setBold(true);
    font.setItalic(true);
    // As large as the title goes with a margin on either side, whatever face stands in.
    constexpr int kMargin = 16;
    for (int pixels = 64; pixels > 8; --pixels) {
        font.setPixelSize(pixels);
        const QRect ink = QFontMetrics(font).boundingRect(kProgramTitle);
        if (ink.width() + 4 <= size.width() - 2 * kMargin) {
            break;
        }
    }
    painter.setFont(font);
    const QRectF title(0, 60, size.width(), 100);
    painter.setPen(QColor(0, 0, 40, 160));
    painter.drawText(title.translated(4, 4), Qt::AlignCenter, kProgramTitle);
    painter.setPen(QColor(255, 250, 230));
    painter.drawText(title, Qt::AlignCenter, kProgramTitle);
    QFont small(QStringLiteral("Liberation Sans"));
    small.setPixelSize(14);
    painter.setFont(small);
    painter.setPen(QColor(190, 215, 255));
    painter.drawText(QRectF(0, 170, size.width(), 30), Qt::AlignCenter,
                     QStringLiteral("announce your pages to the search engines"));
    return image;
}

QImage DrawIcon(int pixels, qreal dpr) {
    QImage image = Canvas(QSize(pixels, pixels), dpr);
    QPainter painter(&image);
    Smooth(painter);
    const qreal s = pixels / 32.0;
    DrawGlobe(painter, QRectF(8 * s, 2 * s, 23 * s, 23 * s));
    DrawArrow(painter, QRectF(1 * s, 16 * s, 20 * s, 14 * s), QColor(255, 200, 80),
              QColor(200, 90, 0));
    return image;
}

// Deterministic scatter for each pixel: a value in [0, 1).
double Scatter(int x, int y, int salt) {
    unsigned h = static_cast<unsigned>(x) * 73856093u ^ static_cast<unsigned>(y) * 19349663u ^
                 static_cast<unsigned>(salt) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return (h & 0xFFFF) / 65536.0;
}

}  // namespace

QPixmap Artwork(const QString& name, qreal devicePixelRatio) {
    QImage image;
    if (name == "bitmap133") {
        image = Globe(devicePixelRatio);
    } else if (name == "bitmap134") {
        image = BlueArrow(devicePixelRatio);
    } else if (name == "bitmap136") {
        image = CheckMark(devicePixelRatio);
    } else if (name == "bitmap138") {
        image = LightBulb(devicePixelRatio);
    } else if (name == "bitmap147") {
        image = Splash(devicePixelRatio);
    } else if (name == "bitmap177") {
        image = PurpleArrow(devicePixelRatio);
    } else if (name == "bitmap187") {
        image = QuestionBubble(devicePixelRatio);
    } else if (name == "icon128") {
        image = DrawIcon(32, devicePixelRatio);
    }
    return QPixmap::fromImage(image);
}

QImage ClipFrame(const QString& name, int frame, qreal devicePixelRatio) {
    Q_UNUSED(name);
    const QImage globe = Globe(devicePixelRatio);
    // 0 at the first and last frame, 1 half-way: the globe is all dots in the middle.
    const double spread =
        1.0 - std::abs(frame - (kClipFrameCount - 1) / 2.0) / ((kClipFrameCount - 1) / 2.0);
    if (spread <= 0.0) {
        return globe;
    }
    QImage frameImage = Canvas(QSize(34, 36), devicePixelRatio);
    const QPointF centre(globe.width() / 2.0, globe.height() / 2.0);
    const int dot = std::max(1, static_cast<int>(std::lround(devicePixelRatio)));
    for (int y = 0; y < globe.height(); y += dot) {
        for (int x = 0; x < globe.width(); x += dot) {
            const QRgb pixel = globe.pixel(x, y);
            if (qAlpha(pixel) == 0 || Scatter(x / dot, y / dot, 1) < spread * 0.75) {
                continue;
            }
            // Each surviving dot drifts outward and a little sideways, further as the globe
            // dissolves.
            const double drift = spread * 14.0 * devicePixelRatio * Scatter(x / dot, y / dot, 2);
            const QPointF from(x - centre.x(), y - centre.y());
            const double length = std::max(1.0, std::hypot(from.x(), from.y()));
            const int nx =
                static_cast<int>(x + from.x() / length * drift + (Scatter(x, y, 3) - 0.5) * drift);
            const int ny =
                static_cast<int>(y + from.y() / length * drift + (Scatter(x, y, 4) - 0.5) * drift);
            for (int dy = 0; dy < dot; ++dy) {
                for (int dx = 0; dx < dot; ++dx) {
                    if (frameImage.valid(nx + dx, ny + dy)) {
                        frameImage.setPixel(nx + dx, ny + dy, pixel);
                    }
                }
            }
        }
    }
    return frameImage;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (const int pixels : {16, 32}) {
        for (const qreal dpr : {1.0, 2.0}) {
            icon.addPixmap(QPixmap::fromImage(DrawIcon(pixels, dpr)));
        }
    }
    return icon;
}

QImage IconImage(int pixels, qreal devicePixelRatio) {
    return DrawIcon(pixels, devicePixelRatio);
}

}  // namespace quaymark::ui
