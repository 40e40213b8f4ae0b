#include "Components/PkgFolder/ExpansionAnimation.h"

#include <QPainter>
#include <QWidget>
#include <cmath>
#include <numbers>

AnimationPlaces AnimationPlacesFor(const QRect& textRect, const QSize& iconSize) {
    AnimationPlaces places;
    places.icon = QRect(textRect.left() - iconSize.width() - 3,
                        textRect.top() + (textRect.height() - iconSize.height()) / 2,
                        iconSize.width(), iconSize.height());
    QRect frame = textRect;
    if (frame.height() > 16) {
        const int off = (frame.height() - 16) / 2;
        frame.adjust(0, off, 0, -off);
    }
    frame.moveLeft(textRect.left() + textRect.width() + 3);
    frame.setWidth(56);
    places.frame = frame;
    places.bar = frame.adjusted(3, 3, -3, -3);
    return places;
}

double BarFillFraction(int done) {
    // 1 + 0.2 d - 0.5 ln(e^(0.4 d) + e^2 - 1), written so that large counts cannot overflow.
    const double d = std::max(done, 0);
    const double e2 = std::exp(2.0) - 1.0;
    return 1.0 - 0.5 * std::log1p(e2 * std::exp(-0.4 * d));
}

int BarFillWidth(int total, int done) {
    if (total > 0) {
        return static_cast<int>(static_cast<long long>(std::max(done, 0)) * 50 / total);
    }
    return static_cast<int>(50.0 * BarFillFraction(done));
}

namespace {

// Ten positions of a dot turning round a ring of faint dots.
void PaintWaitIcon(QPainter& painter, const QRect& place, int frame) {
    const QPointF centre = QRectF(place).center();
    const double radius = std::min(place.width(), place.height()) / 2.0 - 2.0;
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 10; ++i) {
        const double angle = 2 * std::numbers::pi * i / 10 - std::numbers::pi / 2;
        const QPointF at = centre + QPointF(std::cos(angle), std::sin(angle)) * radius;
        painter.setBrush(i == frame ? QColor(0x20, 0x20, 0x20) : QColor(0xB0, 0xB0, 0xB0));
        painter.drawEllipse(at, 1.5, 1.5);
    }
}

}  // namespace

void DrawUserIcon(QPainter& painter, const QRect& place, const QIcon& icon,
                  const QColor& background) {
    painter.fillRect(place, background);
    if (!icon.isNull())
        icon.paint(&painter, place);
}

void PaintAnimation(QPainter& painter, const AnimationPlaces& places, int frame, int fillWidth) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    PaintWaitIcon(painter, places.icon, frame % 10);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(places.frame.adjusted(0, 0, -1, -1));
    const int width = std::clamp(fillWidth, 0, places.bar.width());
    painter.fillRect(QRect(places.bar.left(), places.bar.top(), width, places.bar.height()),
                     BarColour());
    painter.restore();
}

ExpansionAnimation::ExpansionAnimation(QWidget* viewport) : viewport_(viewport) {
    QObject::connect(&timer_, &QTimer::timeout, viewport, [this] {
        frame_ = (frame_ + 1) % 10;
        Redraw();
    });
}

void ExpansionAnimation::Start(const AnimationPlaces& places, int delayMs, const QIcon& userIcon) {
    places_ = places;
    frame_ = 0;
    snapshot_ = viewport_->grab().toImage();
    QPainter painter(&snapshot_);
    DrawUserIcon(painter, places_.icon, userIcon,
                 viewport_->palette().color(viewport_->backgroundRole()));
    painter.end();
    running_ = true;
    if (delayMs > 0) {
        timer_.start(delayMs);
    }
}

void ExpansionAnimation::Stop() {
    if (!running_) {
        return;
    }
    timer_.stop();
    running_ = false;
    snapshot_ = QImage();
    viewport_->update();
}

bool ExpansionAnimation::Paint(QPainter& painter, int total, int done) {
    if (!running_) {
        return false;
    }
    painter.drawImage(0, 0, snapshot_);
    PaintAnimation(painter, places_, frame_, BarFillWidth(total, done));
    return true;
}

void ExpansionAnimation::CountChanged() {
    if (!running_) {
        return;
    }
    if (!timer_.isActive()) {
        frame_ = (frame_ + 1) % 10;
    }
    Redraw();
}

void ExpansionAnimation::Redraw() {
    if (running_) {
        viewport_->update(places_.icon.united(places_.frame));
    }
}
