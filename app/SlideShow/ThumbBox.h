#pragma once
// The slideshow's thumbnail column: a vertically scrolling box of thumbnail buttons, one
// per picture, the button at position i showing the picture at index i. It also carries
// the two insertion marks and the drag image that a thumbnail drag shows over it.

#include <QLabel>
#include <QScrollArea>
#include <vector>

#include "app/SlideShow/ThumbButton.h"

class TThumbBox : public QScrollArea {
    Q_OBJECT
  public:
    explicit TThumbBox(QWidget* parent);

    int Count() const { return static_cast<int>(buttons_.size()); }
    TThumbButton* Button(int index) const;
    int IndexOf(const TThumbButton* button) const;
    // A new button at the end; its placement and glyph are MakeImageButton's work.
    TThumbButton* AddButton();
    void RemoveButton(int index);
    void RemoveAll();
    // Puts every button at Top = its height x its position.
    void RestackButtons();

    // The height of one thumbnail (the first; all are equal); 0 when there are none.
    int ThumbHeight() const;
    int ThumbsHeight() const { return ThumbHeight() * Count(); }
    int ClientHeight() const;
    int ScrollPos() const;
    void SetScrollPos(int position);
    void SetScrollIncrement(int step);
    void EnsureVisible(int index);
    // Fits the scrolled area to the buttons; called after buttons are added, removed or resized.
    void UpdateContentSize();

    // Thumbnail hints are off while a thumbnail is dragged.
    void SetHintsShown(bool shown);

    // Insertion marks at tops given in column client coordinates; a null pixmap hides one.
    void ShowMarks(const QPixmap& upper, int upperTop, const QPixmap& lower, int lowerTop,
                   int left);
    void HideMarks();
    bool UpperMarkShown() const { return upperMark_->isVisible(); }
    bool LowerMarkShown() const { return lowerMark_->isVisible(); }
    QPoint UpperMarkPos() const { return upperMark_->pos(); }
    QPoint LowerMarkPos() const { return lowerMark_->pos(); }

    // The drag image with its hot spot, at a point in column client coordinates.
    void BeginDragImage(const QPixmap& image, const QPoint& hotSpot);
    void MoveDragImage(const QPoint& at);
    void HideDragImage();
    void ShowDragImage(const QPoint& at);
    void EndDragImage();
    bool Dragging() const { return dragImage_->isVisible(); }

  protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* content_;
    std::vector<TThumbButton*> buttons_;
    QLabel* upperMark_;
    QLabel* lowerMark_;
    QLabel* dragImage_;
    QPoint hotSpot_;
    bool hintsShown_ = true;
};
