#include "app/SlideShow/SlideShow.h"

#include <QAction>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QResizeEvent>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include "app/SlideShow/PicPanel.h"
#include "app/SlideShow/SlideShowLayout.h"
#include "app/SlideShow/SlideShowRules.h"
#include "app/SlideShow/ThumbBox.h"
#include "app/SlideShow/ThumbButton.h"
#include "platform/Memory.h"
#include "platform/SlotGuard.h"

// The artwork lives in a static library, whose resources are registered on first use.
static void InitSlideShowArt() {
    Q_INIT_RESOURCE(slideshow);
}

using slideshow::Bounds;
using slideshow::SlideShowAnchors;
using slideshow::SlideShowLayout;

namespace {

// Runs a command of the control through the slot guard: an exception (memory running out
// while pictures are turned, say) becomes an error box instead of reaching Qt.
auto Guarded(TSlideShow* self, void (TSlideShow::*command)()) {
    return [self, command] { platform::GuardSlot([&] { (self->*command)(); }); };
}

// A panel's size before its owner places it; the anchors keep every child's distances
// from it, so the layout follows whatever size the owner gives.
constexpr QSize kInitialSize{185, 41};

QIcon GlyphIcon(const QString& name) {
    const QPixmap strip(QStringLiteral(":/slideshow/") + name);
    QIcon icon;
    if (strip.isNull()) {
        return icon;
    }
    const int cell = strip.width() / 2;
    icon.addPixmap(strip.copy(0, 0, cell, strip.height()), QIcon::Normal);
    icon.addPixmap(strip.copy(cell, 0, cell, strip.height()), QIcon::Disabled);
    return icon;
}

QFrame* MakeBevel(QWidget* parent, QFrame::Shape shape) {
    auto* bevel = new QFrame(parent);
    bevel->setFrameShape(shape);
    bevel->setFrameShadow(QFrame::Sunken);
    return bevel;
}

}  // namespace

TSlideShow::TSlideShow(QWidget* owner, bool reduced, int rotateMode, QAbstractButton* closeButton)
    : QFrame(owner),
      Reduced(reduced),
      Optimization(GetDefOptimization()),
      RotateMode(rotateMode),
      CloseButton(closeButton),
      anchors_(this) {
    InitSlideShowArt();
    setObjectName(QStringLiteral("SlideShow"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setFont(QFont(QStringLiteral("Arial"), 8));
    resize(kInitialSize);
    PlaceUpMark = QPixmap(QStringLiteral(":/slideshow/PLEFT"));
    PlaceDownMark = QPixmap(QStringLiteral(":/slideshow/PRIGHT"));
    PlayTimer = new QTimer(this);
    PlayTimer->setInterval(slideshow::kDefaultDelay);
    connect(PlayTimer, &QTimer::timeout, this, &TSlideShow::OnTimer);

    BuildTransport();
    BuildTurnButtons();
    BuildSpeedBar();
    if (!Reduced) {
        BuildThumbColumn();
        BuildOrderButtons();
        BuildPopupMenu();
    }
    BuildPicPanel();
}

TSlideShow::~TSlideShow() {
    PlayTimer->stop();
    Clear();
}

QToolButton* TSlideShow::MakeSpeedButton(const QString& glyph, const QString& hint,
                                         unsigned anchors, const Bounds& bounds) {
    auto* button = new QToolButton(this);
    button->setObjectName(glyph);
    button->setIcon(GlyphIcon(glyph));
    button->setIconSize({16, 16});
    button->setToolTip(hint);
    button->setAutoRaise(FlatButtons);
    button->setFocusPolicy(Qt::NoFocus);
    anchors_.Place(button, bounds, anchors);
    return button;
}

void TSlideShow::BuildTransport() {
    const SlideShowLayout l = slideshow::InitialLayout(size(), Reduced, 0);
    BottomBevel = MakeBevel(this, QFrame::HLine);
    anchors_.Place(BottomBevel, l.bottomBevel, SlideShowAnchors::bottomBevel);
    PrevButton = MakeSpeedButton(QStringLiteral("PREV"), QStringLiteral("Previous image"),
                                 SlideShowAnchors::leftButton, l.prevButton);
    connect(PrevButton, &QToolButton::clicked, this, Guarded(this, &TSlideShow::OnPrevClick));
    PlayButton =
        MakeSpeedButton(QStringLiteral("PLAY"), QStringLiteral("Start / Stop 3D series preview"),
                        SlideShowAnchors::leftButton, l.playButton);
    PlayButton->setCheckable(true);
    connect(PlayButton, &QToolButton::clicked, this, Guarded(this, &TSlideShow::OnPlayClick));
    NextButton = MakeSpeedButton(QStringLiteral("NEXT"), QStringLiteral("Next image"),
                                 SlideShowAnchors::leftButton, l.nextButton);
    connect(NextButton, &QToolButton::clicked, this, Guarded(this, &TSlideShow::OnNextClick));

    SpeedLabel = new QLabel(QStringLiteral("Play speed :"), this);
    SpeedLabel->setObjectName(QStringLiteral("SpeedLabel"));
    SpeedLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Bounds label = l.speedLabel;
    label.width = SpeedLabel->fontMetrics().horizontalAdvance(SpeedLabel->text());
    anchors_.Place(SpeedLabel, label, SlideShowAnchors::leftButton);
}

void TSlideShow::BuildTurnButtons() {
    const SlideShowLayout l = slideshow::InitialLayout(size(), Reduced, 0);
    RotateLeftButton = MakeSpeedButton(QStringLiteral("RLEFT"), QStringLiteral("Rotate left"),
                                       SlideShowAnchors::rightButton, l.rotateLeftButton);
    connect(RotateLeftButton, &QToolButton::clicked, this,
            Guarded(this, &TSlideShow::OnLRotateClick));
    RotateRightButton = MakeSpeedButton(QStringLiteral("RRIGHT"), QStringLiteral("Rotate right"),
                                        SlideShowAnchors::rightButton, l.rotateRightButton);
    connect(RotateRightButton, &QToolButton::clicked, this,
            Guarded(this, &TSlideShow::OnRRotateClick));
    FullScreenButton =
        MakeSpeedButton(QStringLiteral("FULLSCR"), QStringLiteral("Full-screen preview"),
                        SlideShowAnchors::rightButton, l.fullScreenButton);
    connect(FullScreenButton, &QToolButton::clicked, this,
            Guarded(this, &TSlideShow::OnFullScrClick));
}

void TSlideShow::BuildSpeedBar() {
    const Bounds label = anchors_.BoundsOf(SpeedLabel);
    const Bounds rotateLeft = anchors_.BoundsOf(RotateLeftButton);
    SpeedBar = new QSlider(Qt::Horizontal, this);
    SpeedBar->setObjectName(QStringLiteral("SpeedBar"));
    SpeedBar->setRange(slideshow::kSpeedMin, slideshow::kSpeedMax);
    SpeedBar->setValue(slideshow::DelayToSpeed(PlayTimer->interval()));
    SpeedBar->setTickInterval(61);
    SpeedBar->setTickPosition(QSlider::TicksBelow);
    SpeedBar->setSingleStep(61);
    SpeedBar->setPageStep(183);
    SpeedBar->setFocusPolicy(Qt::NoFocus);
    SpeedBar->setToolTip(QStringLiteral("Change play speed"));
    const int left = label.Right();
    anchors_.Place(SpeedBar,
                   {left, rotateLeft.top, rotateLeft.left - left - 4, slideshow::kButtonHeight},
                   SlideShowAnchors::speedBar);
    connect(SpeedBar, &QSlider::valueChanged, this, &TSlideShow::OnSpeedChange);
}

void TSlideShow::BuildThumbColumn() {
    const SlideShowLayout l = slideshow::InitialLayout(size(), Reduced, 0);
    ThumbBevel = MakeBevel(this, QFrame::VLine);
    anchors_.Place(ThumbBevel, l.thumbBevel, SlideShowAnchors::thumbColumn);
    ThumbBox = new TThumbBox(this);
    ThumbBox->setObjectName(QStringLiteral("ThumbBox"));
    anchors_.Place(ThumbBox, l.thumbBox, SlideShowAnchors::thumbColumn);
}

void TSlideShow::BuildOrderButtons() {
    const SlideShowLayout l = slideshow::InitialLayout(size(), Reduced, 0);
    MoveUpButton =
        MakeSpeedButton(QStringLiteral("MOVEUP"), QStringLiteral("Move up the selected image"),
                        SlideShowAnchors::rightButton, l.moveUpButton);
    connect(MoveUpButton, &QToolButton::clicked, this, Guarded(this, &TSlideShow::OnMoveUpClick));
    MoveDownButton =
        MakeSpeedButton(QStringLiteral("MOVEDOWN"), QStringLiteral("Move down the selected image"),
                        SlideShowAnchors::rightButton, l.moveDownButton);
    connect(MoveDownButton, &QToolButton::clicked, this,
            Guarded(this, &TSlideShow::OnMoveDownClick));
    // Anchored to the left unlike its neighbours: an empty control that is resized keeps it
    // where it was until a loaded series lines the three up again.
    ZOrderButton = MakeSpeedButton(QStringLiteral("ZORDER"), QStringLiteral("Reverse images order"),
                                   SlideShowAnchors::leftButton, l.zOrderButton);
    connect(ZOrderButton, &QToolButton::clicked, this, Guarded(this, &TSlideShow::OnZOrderClick));
    DeleteButton = MakeSpeedButton(QStringLiteral("DELETE"),
                                   QStringLiteral("Remove the selected image from series"),
                                   SlideShowAnchors::rightButton, l.deleteButton);
    connect(DeleteButton, &QToolButton::clicked, this, Guarded(this, &TSlideShow::OnDeleteClick));
}

void TSlideShow::BuildPopupMenu() {
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    MoveUpItem = PopupMenu->addAction(QStringLiteral("Move &Up"), this,
                                      Guarded(this, &TSlideShow::OnMoveUpClick));
    MoveDownItem = PopupMenu->addAction(QStringLiteral("Move &Down"), this,
                                        Guarded(this, &TSlideShow::OnMoveDownClick));
    PopupMenu->addSeparator();
    RemoveItem = PopupMenu->addAction(QStringLiteral("&Remove"), this,
                                      Guarded(this, &TSlideShow::OnDeleteClick));
    PopupMenu->addSeparator();
    MakeFirstItem = PopupMenu->addAction(QStringLiteral("&Make first"), this,
                                         Guarded(this, &TSlideShow::OnMakeFirstClick));
}

void TSlideShow::BuildPicPanel() {
    const Bounds bevel = anchors_.BoundsOf(BottomBevel);
    const int width = Reduced ? this->width() - 4 : anchors_.BoundsOf(ThumbBevel).left - 1;
    PicPanel = new TPicPanel(this);
    PicPanel->setObjectName(QStringLiteral("PicPanel"));
    PicPanel->BackgroundColor = BackgroundColor;
    anchors_.Place(PicPanel, {2, 2, width, bevel.top - 2}, SlideShowAnchors::picPanel);
    connect(PicPanel, &TPicPanel::MouseDown, this, &TSlideShow::PanelMouseDown);
    connect(PicPanel, &TPicPanel::MouseMove, this, &TSlideShow::PanelMouseMove);
    connect(PicPanel, &TPicPanel::MouseUp, this, &TSlideShow::PanelMouseUp);
    connect(PicPanel, &TPicPanel::DblClick, this, &TSlideShow::PanelDblClick);
}

void TSlideShow::SetBackgroundColor(const QColor& color) {
    BackgroundColor = color;
    PicPanel->BackgroundColor = color;
    PicPanel->UpdateImage();
}

void TSlideShow::SetControlsState(bool enabled) {
    for (QWidget* control :
         {static_cast<QWidget*>(PrevButton), static_cast<QWidget*>(PlayButton),
          static_cast<QWidget*>(NextButton), static_cast<QWidget*>(SpeedBar),
          static_cast<QWidget*>(RotateLeftButton), static_cast<QWidget*>(RotateRightButton),
          static_cast<QWidget*>(FullScreenButton)}) {
        control->setEnabled(enabled);
    }
    if (Reduced) {
        return;
    }
    ThumbBox->setEnabled(enabled);
    SetOrderCommandsEnabled(enabled);
    ZOrderButton->setEnabled(enabled);
}

void TSlideShow::SetOrderCommandsEnabled(bool enabled) {
    MoveUpButton->setEnabled(enabled);
    MoveUpItem->setEnabled(enabled);
    MoveDownButton->setEnabled(enabled);
    MoveDownItem->setEnabled(enabled);
    DeleteButton->setEnabled(enabled);
    RemoveItem->setEnabled(enabled);
    MakeFirstItem->setEnabled(enabled);
}

void TSlideShow::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    anchors_.Apply();
    DoResize();
}

SlideShowLayout TSlideShow::CurrentLayout() const {
    SlideShowLayout l;
    l.rotateLeftButton = anchors_.BoundsOf(RotateLeftButton);
    l.rotateRightButton = anchors_.BoundsOf(RotateRightButton);
    l.fullScreenButton = anchors_.BoundsOf(FullScreenButton);
    l.speedBar = anchors_.BoundsOf(SpeedBar);
    l.thumbBevel = anchors_.BoundsOf(ThumbBevel);
    l.thumbBox = anchors_.BoundsOf(ThumbBox);
    l.moveUpButton = anchors_.BoundsOf(MoveUpButton);
    l.moveDownButton = anchors_.BoundsOf(MoveDownButton);
    l.zOrderButton = anchors_.BoundsOf(ZOrderButton);
    l.picPanel = anchors_.BoundsOf(PicPanel);
    return l;
}

void TSlideShow::ApplyLayout(const SlideShowLayout& l) {
    anchors_.SetBounds(RotateLeftButton, l.rotateLeftButton);
    anchors_.SetBounds(RotateRightButton, l.rotateRightButton);
    anchors_.SetBounds(FullScreenButton, l.fullScreenButton);
    anchors_.SetBounds(SpeedBar, l.speedBar);
    anchors_.SetBounds(ThumbBevel, l.thumbBevel);
    anchors_.SetBounds(ThumbBox, l.thumbBox);
    anchors_.SetBounds(MoveUpButton, l.moveUpButton);
    anchors_.SetBounds(MoveDownButton, l.moveDownButton);
    anchors_.SetBounds(ZOrderButton, l.zOrderButton);
    anchors_.SetBounds(PicPanel, l.picPanel);
}

void TSlideShow::DoResize() {
    if (Pictures.empty() || Reduced) {
        return;
    }
    SlideShowLayout l = CurrentLayout();
    slideshow::ResizeInput input;
    input.width = width();
    input.thumbsOverflow = ThumbBox->ThumbsHeight() > ThumbBox->ClientHeight();
    input.scrollBarWidth = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    input.fullScreen = FullScreen;
    slideshow::ResizeLayout(l, input);
    ApplyLayout(l);
    ThumbBox->UpdateContentSize();
}

int TSlideShow::GetDefOptimization() {
    return slideshow::DefOptimizationFor(platform::PhysicalMemoryBytes());
}
