#include "app/MainWindow/Splitter.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/MainWindow/Panel.h"

TSplitter::TSplitter(QWidget* parent) : QWidget(parent) {}

void TSplitter::SetBeveled(bool value) {
    beveled_ = value;
    update();
}

bool TSplitter::Horizontal() const {
    const auto* panel = qobject_cast<const TPanel*>(parentWidget());
    const TAlign align = panel != nullptr ? panel->ChildAlign(this) : TAlign::None;
    return align == TAlign::Left || align == TAlign::Right;
}

QWidget* TSplitter::ResizedControl() const {
    const auto* panel = qobject_cast<const TPanel*>(parentWidget());
    return panel != nullptr ? panel->AlignedBefore(this) : nullptr;
}

int TSplitter::SizeOf(const QWidget* w) const {
    if (w == nullptr) {
        return 0;
    }
    return Horizontal() ? w->width() : w->height();
}

int TSplitter::MaxSize(int startSize) const {
    const auto* panel = qobject_cast<const TPanel*>(parentWidget());
    const QWidget* client = panel != nullptr ? panel->ClientChild() : nullptr;
    return startSize + SizeOf(client) - minSize_;
}

void TSplitter::Propose(int newSize) {
    QWidget* control = ResizedControl();
    if (control == nullptr) {
        return;
    }
    newSize = std::max(minSize_, std::min(newSize, MaxSize(SizeOf(control))));
    if (newSize == SizeOf(control)) {
        return;
    }
    bool accept = true;
    if (OnCanResize) {
        OnCanResize(newSize, accept);
    }
    if (!accept) {
        return;
    }
    if (Horizontal()) {
        SetWidth(control, newSize);
    } else {
        SetHeight(control, newSize);
    }
}

void TSplitter::DragBy(int delta) {
    Propose(SizeOf(ResizedControl()) + delta);
    if (OnMoved) {
        OnMoved();
    }
}

void TSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || ResizedControl() == nullptr) {
        return;
    }
    dragging_ = true;
    const QPoint global = event->globalPosition().toPoint();
    pressPos_ = Horizontal() ? global.x() : global.y();
    startSize_ = SizeOf(ResizedControl());
}

void TSplitter::enterEvent(QEnterEvent* event) {
    setCursor(Horizontal() ? Qt::SplitHCursor : Qt::SplitVCursor);
    QWidget::enterEvent(event);
}

void TSplitter::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        return;
    }
    const QPoint global = event->globalPosition().toPoint();
    const int delta = (Horizontal() ? global.x() : global.y()) - pressPos_;
    Propose(startSize_ + delta);
}

void TSplitter::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) {
        return;
    }
    dragging_ = false;
    if (OnMoved) {
        OnMoved();
    }
}

void TSplitter::paintEvent(QPaintEvent*) {
    if (!beveled_) {
        return;
    }
    QPainter painter(this);
    const QPalette& pal = palette();
    const QRect r = rect();
    painter.setPen(pal.color(QPalette::Light));
    painter.drawLine(r.topLeft(), Horizontal() ? r.bottomLeft() : r.topRight());
    painter.setPen(pal.color(QPalette::Dark));
    painter.drawLine(r.bottomRight(), Horizontal() ? r.topRight() : r.bottomLeft());
}
