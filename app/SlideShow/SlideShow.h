#pragma once
// The rotating-series preview control: shows one picture of a series at a time, plays the
// series in a loop so the object seems to turn, and lets the user step, turn, reorder and
// remove pictures. Built entirely in code; in reduced mode it has no thumbnail column, no
// order and delete buttons and no popup menu.
//
// Loading and turning run on the UI thread and report progress synchronously. While they
// run the control is busy: its commands do nothing and a host asks IsBusy before closing.
// UI thread only.

#include <QFrame>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <memory>
#include <vector>

#include "app/SlideShow/AnchorLayout.h"
#include "app/SlideShow/SlideShowTypes.h"

class QAbstractButton;
class QAction;
class QLabel;
class QMenu;
class QMouseEvent;
class QSlider;
class QTimer;
class QToolButton;
class TFullScreenForm;
class TPicPanel;
class TThumbBox;
class TThumbButton;

namespace slideshow {
struct SlideShowLayout;
}

class TSlideShow : public QFrame {
    Q_OBJECT
  public:
    TSlideShow(QWidget* owner, bool reduced, int rotateMode, QAbstractButton* closeButton);
    ~TSlideShow() override;

    // Construction and layout.
    void SetBackgroundColor(const QColor& color);
    void SetControlsState(bool enabled);
    void DoResize();

    // Loading, orientation and turning.
    void SetImages(const QStringList* files);
    void SetImages(const QStringList& files) { SetImages(&files); }
    const QStringList& GetImages() const { return FileNames; }
    // The load position (0-based) of each picture, in display order.
    std::vector<int> GetLoadOrder() const { return LoadOrder; }
    void Clear();
    static int GetDefOptimization();
    int GetRotateDir(const QString& firstFile);
    void Rotate(int dir);
    int Count() const { return static_cast<int>(Pictures.size()); }
    bool IsBusy() const { return busy_ > 0; }

    // Playback and reordering.
    void Start();
    void Stop();
    void Next();
    void Prev();
    void SetDelay(int delay);
    int GetDelay() const;
    bool IsPlaying() const;
    void ShowCurPic();
    void ExchangePics(int a, int b);
    void MovePic(int from, int to);
    void ZOrder();

    // Drags and full screen.
    int CurPos(int y) const;
    int InsPos(int y) const;
    void DrawPlace(QPoint p, bool forced);
    void ErasePlace();
    void ToggleFullScreen();

    bool FlatButtons = true;
    const bool Reduced;
    bool Changed = false;
    int CurPic = -1;
    int Optimization;
    int RotateMode;
    QColor BackgroundColor{0xFF, 0xFF, 0xFF};
    QPointer<QAbstractButton> CloseButton;
    QStringList FileNames;
    DibList Pictures;
    std::vector<int> LoadOrder;
    QPixmap PlaceUpMark;
    QPixmap PlaceDownMark;
    QTimer* PlayTimer = nullptr;
    TSlideShowProgressEvent OnProgress;
    // Asks the orientation of a new series (rotate mode 2); without it nothing is turned.
    TOrientQuestion AskOrientation;

    // Children, in creation order.
    QFrame* BottomBevel = nullptr;
    QToolButton* PrevButton = nullptr;
    QToolButton* PlayButton = nullptr;
    QToolButton* NextButton = nullptr;
    QLabel* SpeedLabel = nullptr;
    QToolButton* RotateLeftButton = nullptr;
    QToolButton* RotateRightButton = nullptr;
    QToolButton* FullScreenButton = nullptr;
    QSlider* SpeedBar = nullptr;
    QFrame* ThumbBevel = nullptr;
    TThumbBox* ThumbBox = nullptr;
    QToolButton* MoveUpButton = nullptr;
    QToolButton* MoveDownButton = nullptr;
    QToolButton* ZOrderButton = nullptr;
    QToolButton* DeleteButton = nullptr;
    QMenu* PopupMenu = nullptr;
    QAction* MoveUpItem = nullptr;
    QAction* MoveDownItem = nullptr;
    QAction* RemoveItem = nullptr;
    QAction* MakeFirstItem = nullptr;
    TPicPanel* PicPanel = nullptr;

    // Drag and full-screen state.
    bool ThumbPressed = false;
    bool ThumbDragging = false;
    QPoint PressPoint;
    int DragSource = -1;
    int LastInsPos = -1;
    int DragX = 0;
    int GrabY = 0;
    bool PicDragging = false;
    bool PicMoved = false;
    int PicDragX = 0;
    bool FullScreen = false;
    TFullScreenForm* FsForm = nullptr;
    QRect SavedPanelBounds;

  signals:
    // Loading or turning has ended; a close request made meanwhile may go ahead now.
    void BusyEnded();

  public slots:
    void OnTimer();
    void OnSpeedChange(int position);
    void OnPlayClick();
    void OnPrevClick() { Prev(); }
    void OnNextClick() { Next(); }
    void OnFullScrClick() { ToggleFullScreen(); }
    void OnLRotateClick() { TurnClick(kRotateLeft); }
    void OnRRotateClick() { TurnClick(kRotateRight); }
    void OnZOrderClick();
    void OnMoveUpClick();
    void OnMoveDownClick();
    void OnMakeFirstClick();
    void OnDeleteClick();
    void OnPicClick();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    // Construction.
    void BuildTransport();
    void BuildTurnButtons();
    void BuildSpeedBar();
    void BuildThumbColumn();
    void BuildOrderButtons();
    void BuildPopupMenu();
    void BuildPicPanel();
    QToolButton* MakeSpeedButton(const QString& glyph, const QString& hint, unsigned anchors,
                                 const slideshow::Bounds& bounds);
    slideshow::SlideShowLayout CurrentLayout() const;
    void ApplyLayout(const slideshow::SlideShowLayout& layout);

    // Loading.
    class BusyScope;
    void Report(unsigned char stage, unsigned char percent, const QString& message,
                bool* cancel = nullptr);
    bool LoadSeries(const QStringList& files, int dir, int workers);
    // Decoders the series may use: the machine's offer, fewer where memory is short; 0 when
    // the series does not fit even with one.
    int SeriesWorkers(const QStringList& files, int denominator);
    bool AppendPicture(UniqueDib picture, const QString& file, int index, int count);
    void FinishLoading();
    void ErrorMessage(const QString& text);
    void ShowLoadFailure(const QString& text);
    void RebuildThumbnails();
    void LetMessagesRun();

    // Commands.
    void OrderButtons(bool editing);
    void SetOrderCommandsEnabled(bool enabled);
    void TurnClick(int dir);
    void ApplyExchanges(const std::vector<std::pair<int, int>>& exchanges);
    void SetThumbDown(int index);
    void OnPicClickAt(int index);
    bool HasPictures() const { return !Pictures.empty(); }
    void MoveCurrentTo(int to);
    void RemoveCurrent();

    // Mouse.
    void OnPicMouseDown(TThumbButton* thumb, QMouseEvent* event);
    void OnPicMouseMove(TThumbButton* thumb, QMouseEvent* event);
    void OnPicMouseUp(TThumbButton* thumb, QMouseEvent* event);
    void StartThumbDrag(TThumbButton* thumb, QMouseEvent* event);
    void ContinueThumbDrag(QPoint screen);
    void CancelThumbDrag();
    void DropThumb(TThumbButton* thumb, QPoint screen);
    QPoint ToThumbBox(QPoint screen) const;
    void PanelMouseDown(QMouseEvent* event);
    void PanelMouseMove(QMouseEvent* event);
    void PanelMouseUp(QMouseEvent* event);
    void PanelDblClick(QMouseEvent* event);
    void FsFormShow();
    void FsFormHide();
    void HookThumbnail(TThumbButton* thumb);

    slideshow::AnchorLayout anchors_;
    int busy_ = 0;
};
