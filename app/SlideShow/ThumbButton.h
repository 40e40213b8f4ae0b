#pragma once
// One thumbnail of the slideshow's column: a button showing a reduced copy of its picture
// with the picture's load number in a small box. Its glyph strip holds four cells (up,
// disabled, pressed, down); "down" marks the current picture and is set by the slideshow
// only (a click does not toggle it). The Tag's absolute value is the load number; a
// negative Tag marks a thumbnail under an insertion mark.

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>

#include "imaging/PackedDib.h"

class TThumbButton : public QAbstractButton {
    Q_OBJECT
  public:
    explicit TThumbButton(QWidget* parent);

    int Tag = 0;

    void SetDown(bool down) { setChecked(down); }
    bool Down() const { return isChecked(); }
    // The glyph strip: NumGlyphs cells side by side.
    void SetGlyph(const QPixmap& strip, int numGlyphs);
    const QPixmap& Glyph() const { return glyph_; }
    // The up cell, as the drag image shows it.
    QPixmap FirstCell() const;
    // Called from a MouseUp handler: this release ends a drag and is no click.
    void CancelClick() { cancelClick_ = true; }

    QSize sizeHint() const override;

  signals:
    void MouseDown(QMouseEvent* event);
    void MouseMove(QMouseEvent* event);
    void MouseUp(QMouseEvent* event);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void nextCheckState() override {}

  private:
    int CellIndex() const;

    QPixmap glyph_;
    int numGlyphs_ = 1;
    bool cancelClick_ = false;
};

// Sizes, places and paints the thumbnail of picture at position index: the button is as
// high as the reduced picture plus 4 and stands at index x its height. boxColor is the
// column's colour, used for the box outline and the cell corners.
void MakeImageButton(TThumbButton* button, const DibInfoHeader* picture, int index,
                     const QColor& boxColor);
