#pragma once
// The wait animation of a first expansion: beside the "Loading...." placeholder a turning
// wait icon, a 56-pixel frame and a bar that fills as the folder's items are read. While it
// runs the tree shows a picture of itself taken when the expansion began, so nothing moves
// under the animation. The drawing is pure (a painter and the places), so it can be checked
// on an image. UI thread only.

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QRect>
#include <QTimer>

class QPainter;
class QWidget;

struct AnimationPlaces {
    QRect icon;   // the placeholder's image area
    QRect frame;  // 56 pixels wide, 3 pixels right of the text
    QRect bar;    // the frame inset by 3: 50 x 10 at the usual row height
};

// The places beside a placeholder whose text occupies textRect; iconSize is the tree's
// small-icon size.
AnimationPlaces AnimationPlacesFor(const QRect& textRect, const QSize& iconSize);

// How much of the 50-pixel bar is filled: done / total of it when the total is known, else
// 50 f(done) with f(d) = 1 + 0.2 d - 0.5 ln(e^(0.4 d) + e^2 - 1), which is 0 at d = 0 and
// rises towards 1 as items arrive.
int BarFillWidth(int total, int done);
double BarFillFraction(int done);

// The bar's colour: 0xC08000 as a blue-green-red value.
inline QColor BarColour() {
    return QColor(0x00, 0x80, 0xC0);
}

// Draws frame `frame` (0 to 9) of the wait icon, the frame and the filled bar. The wait
// icon is a ring of dots drawn over what the icon place shows.
void PaintAnimation(QPainter& painter, const AnimationPlaces& places, int frame, int fillWidth);

// The placeholder's own picture in the icon place: the user's icon when there is one,
// otherwise the background.
void DrawUserIcon(QPainter& painter, const QRect& place, const QIcon& icon,
                  const QColor& background);

class ExpansionAnimation {
  public:
    explicit ExpansionAnimation(QWidget* viewport);

    // Takes the picture of the viewport with the user's icon (or the background) in the
    // icon place, and starts turning every delayMs (never with 0).
    void Start(const AnimationPlaces& places, int delayMs, const QIcon& userIcon);
    void Stop();
    bool Running() const { return running_; }

    // Paints the picture and the animation; false when not running.
    bool Paint(QPainter& painter, int total, int done);
    // The count of items read has changed: the bar is drawn again (and, when no timer
    // turns the icon, the icon turns with each change).
    void CountChanged();

  private:
    void Redraw();

    QWidget* viewport_;
    QTimer timer_;
    QImage snapshot_;
    AnimationPlaces places_;
    int frame_ = 0;
    bool running_ = false;
};
