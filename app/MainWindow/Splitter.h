#pragma once
// A splitter bar inside a TPanel: aligned to the left or top edge right after the child it
// resizes, dragging it changes that child's width or height. Each proposed size is first
// offered to OnCanResize, which may refuse it (the bar then stays at the last accepted
// size); the size is applied while dragging, and OnMoved runs when the drag ends.
// UI thread only.

#include <QWidget>
#include <functional>

class TSplitter : public QWidget {
    Q_OBJECT
  public:
    explicit TSplitter(QWidget* parent = nullptr);

    int MinSize() const { return minSize_; }
    void SetMinSize(int value) { minSize_ = value; }
    bool Beveled() const { return beveled_; }
    void SetBeveled(bool value);

    // (newSize, accept): accept starts true; clear it to refuse newSize.
    std::function<void(int&, bool&)> OnCanResize;
    std::function<void()> OnMoved;

    // The child the bar resizes, or null when it is not placed after an aligned child.
    QWidget* ResizedControl() const;
    // Drives a drag by delta pixels from the current size, as a mouse drag would.
    void DragBy(int delta);

  protected:
    void enterEvent(QEnterEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    bool Horizontal() const;  // resizes a width
    int SizeOf(const QWidget* w) const;
    int MaxSize(int startSize) const;
    void Propose(int newSize);

    int minSize_ = 1;
    bool beveled_ = false;
    bool dragging_ = false;
    int pressPos_ = 0;
    int startSize_ = 0;
};
