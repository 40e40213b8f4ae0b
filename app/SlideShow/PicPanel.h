#pragma once
// The panel of the slideshow that shows the current picture of a series, fitted into its
// client area (never larger than the picture times its decode denominator) and centred on
// a plain background, with a small box in the bottom-right corner reading "3 / 10".
// It owns none of the pictures: it is handed the slideshow's list and an index.
//
// A frame is scaled straight from the picture to the panel's picture rectangle in one
// pass (over several cores when it is large), so a frame never seen before, or one made
// stale by a resize, is ready within a play tick. Frames are kept, one per picture, while
// they fit a budget, and the memory of stale frames is reused for new ones, since fresh
// pages cost the system as much to clear as the scaling itself. The owner calls
// ForgetFrames whenever it replaces or frees a picture, since a new picture may reuse a
// freed one's address.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <memory>
#include <unordered_map>
#include <vector>

#include "app/SlideShow/SlideShowTypes.h"

class QPainter;

class TPicPanel : public QWidget {
    Q_OBJECT
  public:
    explicit TPicPanel(QWidget* owner = nullptr);
    ~TPicPanel() override;

    void SetImages(const DibList* list);
    void SetCurImage(int index);
    void UpdateImage();
    void CalcImageRect();
    void CalcStatRect();
    void ForgetFrames();

    int CurImage = 0;                   // index of the picture shown; -1 = none
    QRect ImageRect;                    // where the picture is drawn
    QRect StatRect;                     // the number box
    const DibList* Pictures = nullptr;  // not owned
    int Scale = 1;                      // decode denominator, set by the slideshow before loading
    QColor BackgroundColor;             // everything outside the picture

    // Bytes of scaled frames the panel may keep; past it each frame is scaled afresh.
    static constexpr qint64 kFrameBudgetBytes = qint64{512} << 20;

  signals:
    void MouseDown(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseUp(QMouseEvent* event);
    void DblClick(QMouseEvent* event);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    bool HasCurrentPicture() const;
    const DibInfoHeader* CurrentPicture() const;
    void DrawImageBkgnd(QPainter& painter);
    void DrawImage(QPainter& painter);
    void DrawStatInfo(QPainter& painter);
    // The memory of one frame: a picture block of at least the frame's bytes.
    struct FrameBlock {
        struct Release {
            void operator()(void* block) const;
        };
        std::unique_ptr<void, Release> block;
        size_t capacity = 0;
    };

    QImage FrameFor(const DibInfoHeader* picture);
    QImage MakeFrame(const DibInfoHeader* picture) const;
    bool FillFrame(const DibInfoHeader* picture, QImage& frame) const;
    QImage FrameView(const FrameBlock& block) const;
    FrameBlock TakeBlock(size_t bytes);
    void RetireFrames();
    bool FramesFitBudget() const;

    std::unordered_map<const DibInfoHeader*, FrameBlock> frames_;  // at frameSize_
    std::vector<FrameBlock> spare_;  // memory of stale frames, at most one per picture
    QSize frameSize_;
};
