#include "app/MainWindow/xGauge.h"

#include <QPainter>
#include <QPalette>
#include <algorithm>

TxGauge::TxGauge(QWidget* owner) : QWidget(owner) {
    const QPalette& pal = palette();
    barForeColor_ = pal.color(QPalette::Highlight);
    barBackColor_ = pal.color(QPalette::Button);
    textForeColor_ = pal.color(QPalette::Highlight);
    textBackColor_ = pal.color(QPalette::Button);
    resize(150, 20);
    // Every pixel is painted on each paint, so Qt need not erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TxGauge::SetMinValue(int value) {
    if (value == minimum_) {
        return;
    }
    minimum_ = std::min(value, maximum_);
    progress_ = std::max(progress_, minimum_);
    update();
}

void TxGauge::SetMaxValue(int value) {
    if (value == maximum_) {
        return;
    }
    maximum_ = std::max(value, minimum_);
    progress_ = std::min(progress_, maximum_);
    update();
}

void TxGauge::SetProgress(int value) {
    progress_ = std::clamp(value, minimum_, maximum_);
    update();
}

namespace {
template <typename T>
void StoreAndRepaint(QWidget* widget, T& field, const T& value) {
    if (field != value) {
        field = value;
        widget->update();
    }
}
}  // namespace

void TxGauge::SetShowText(bool value) {
    StoreAndRepaint(this, showText_, value);
}
void TxGauge::SetBorderStyle(TGaugeBorders value) {
    StoreAndRepaint(this, border_, value);
}
void TxGauge::SetBarForeColor(const QColor& value) {
    StoreAndRepaint(this, barForeColor_, value);
}
void TxGauge::SetBarBackColor(const QColor& value) {
    StoreAndRepaint(this, barBackColor_, value);
}
void TxGauge::SetTextForeColor(const QColor& value) {
    StoreAndRepaint(this, textForeColor_, value);
}
void TxGauge::SetTextBackColor(const QColor& value) {
    StoreAndRepaint(this, textBackColor_, value);
}

float TxGauge::CalculatePercentDone() const {
    if (maximum_ == minimum_) {
        return 100.0f;
    }
    // Worked out in double and stored as single precision: 1/3 gives 33.333332, so a third
    // of 150 pixels is 49, not 50.
    return static_cast<float>(static_cast<double>(progress_ - minimum_) / (maximum_ - minimum_) *
                              100.0);
}

int TxGauge::CalculatePixelWidth() const {
    return static_cast<int>(width() * static_cast<double>(CalculatePercentDone()) * 0.01);
}

void TxGauge::paintEvent(QPaintEvent*) {
    const int barWidth = CalculatePixelWidth();
    barRect_ = QRect(QPoint(0, 0), QPoint(barWidth - 1, height() - 1));
    restRect_ = QRect(QPoint(barWidth, 0), QPoint(width() - 1, height() - 1));
    // The widget's backing store already composes the three layers off screen and shows
    // them in one step.
    QPainter painter(this);
    PaintBar(painter);
    if (showText_) {
        PaintText(painter);
    }
    PaintBorder(painter);
}

void TxGauge::PaintBar(QPainter& painter) const {
    painter.fillRect(barRect_, barForeColor_);
    painter.fillRect(restRect_, barBackColor_);
}

void TxGauge::PaintText(QPainter& painter) const {
    const QString text = QString::number(static_cast<int>(CalculatePercentDone())) + "%";
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(text);
    const int textHeight = metrics.height();
    const QRect textRect((width() - textWidth) / 2, (height() - textHeight) / 2, textWidth,
                         textHeight);
    // Drawn twice at one place, so the text reads inverted where the bar covers it.
    painter.save();
    painter.setFont(font());
    painter.setClipRect(barRect_);
    painter.setPen(textBackColor_);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop, text);
    painter.setClipRect(restRect_);
    painter.setPen(textForeColor_);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignTop, text);
    painter.restore();
}

void TxGauge::PaintBorder(QPainter& painter) const {
    const QPalette& pal = palette();
    const int w = width();
    const int h = height();
    auto frame = [&](int inset, const QColor& colour) {
        painter.setPen(colour);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(QPoint(inset, inset), QPoint(w - 1 - inset, h - 1 - inset)));
    };
    // The light or dark edge along the left and top: from the bottom-left corner up, then right.
    auto topLeftEdge = [&](int inset, int bottom, const QColor& colour) {
        painter.setPen(colour);
        painter.drawLine(inset, bottom, inset, inset);
        painter.drawLine(inset, inset, w - 1 - inset, inset);
    };
    switch (border_) {
        case gbNone:
            break;
        case gbSingle:
            frame(0, pal.color(QPalette::WindowText));
            break;
        case gbSunken:
            frame(0, pal.color(QPalette::Light));
            topLeftEdge(0, h - 1, pal.color(QPalette::Mid));
            break;
        case gbDeepSunken:
            frame(0, pal.color(QPalette::Light));
            topLeftEdge(0, h - 1, pal.color(QPalette::Mid));
            frame(1, pal.color(QPalette::Button));
            topLeftEdge(1, h - 2, pal.color(QPalette::Shadow));
            break;
        case gbRaised:
            frame(0, pal.color(QPalette::Mid));
            topLeftEdge(0, h - 1, pal.color(QPalette::Light));
            break;
    }
}
