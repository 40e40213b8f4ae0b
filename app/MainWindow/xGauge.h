#pragma once
// A small owner-painted progress bar: the bar proportional to the progress between a
// minimum and a maximum, the percentage in the middle drawn in two colours (one over the
// bar, one over the rest) and an optional 3-D border. The main window shows one in its
// status bar while pictures are added to the series.

#include <QColor>
#include <QRect>
#include <QWidget>

enum TGaugeBorders { gbNone, gbSingle, gbSunken, gbDeepSunken, gbRaised };

class TxGauge : public QWidget {
    Q_OBJECT
public:
    explicit TxGauge(QWidget* owner = nullptr);

    int MinValue() const { return minimum_; }
    int MaxValue() const { return maximum_; }
    int Progress() const { return progress_; }
    bool ShowText() const { return showText_; }
    TGaugeBorders Border() const { return border_; }
    QColor BarForeColor() const { return barForeColor_; }
    QColor BarBackColor() const { return barBackColor_; }
    QColor TextForeColor() const { return textForeColor_; }
    QColor TextBackColor() const { return textBackColor_; }

    void SetMinValue(int value);
    void SetMaxValue(int value);
    void SetProgress(int value);
    void SetShowText(bool value);
    void SetBorderStyle(TGaugeBorders value);
    void SetBarForeColor(const QColor& value);
    void SetBarBackColor(const QColor& value);
    void SetTextForeColor(const QColor& value);
    void SetTextBackColor(const QColor& value);

    // Worked out at each paint; public so the numbers can be checked without pixels.
    float CalculatePercentDone() const;
    int CalculatePixelWidth() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintBar(QPainter& painter) const;
    void PaintText(QPainter& painter) const;
    void PaintBorder(QPainter& painter) const;

    int minimum_ = 0;
    int maximum_ = 100;
    int progress_ = 0;
    bool showText_ = true;
    TGaugeBorders border_ = gbSunken;
    QColor barForeColor_;
    QColor barBackColor_;
    QColor textForeColor_;
    QColor textBackColor_;
    QRect barRect_;
    QRect restRect_;
};
