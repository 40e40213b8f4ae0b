#pragma once
// The main window: the folder tree, the current folder's pictures with a thumbnail of the
// selected one, and the series being built. This class holds the window's life cycle, the
// series commands and the temporary copies; the controls come from TMainFormUi, the
// geometry rules from TMainLayout and the folder side from TFolderView.
//
// Commands that let events run while they work (Add copies pictures from removable
// media) hold a busy scope: other mutating commands refuse to start, a folder change of
// the tree waits until the scope ends, and the cursor, the status-bar hints and the gauge
// are put back on every way out. Work that a selection change would do in the middle of
// a list update (a message box, a rebuilt list) is queued instead.
//
// UI thread only.

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/MainWindow/FolderView.h"
#include "app/MainWindow/TopBarCommands.h"
#include "app/MainWindow/xGauge.h"
#include "app/Series/TempCopies.h"
#include "app/SlideShow/SlideShowForm.h"

class QDropEvent;

// Set while a move inside the series runs, so the series list's change handlers keep
// still in the middle of it.
extern bool ReorderBusy;

// Whether path lies on a removable disk, a CD-ROM or a RAM disk, asked of the mount table
// at the time of the call (a stick mounted after start counts).
bool IsOnRemovableDrive(const QString& path);

class TMainForm : public TFolderView {
    Q_OBJECT
  public:
    // Throws TempFolderError when the temporary folder cannot be prepared.
    explicit TMainForm(QWidget* owner = nullptr);
    ~TMainForm() override;

    // Life cycle.
    void FormShow();
    void FormHide();
    void FormDestroy();

    // Series list.
    void FilesLVDblClick();
    bool FilesLVKeyDown(QKeyEvent* event);
    void ImagePanelDblClick();
    void SelectAllButtonClick();
    void AddButtonClick();
    void DeleteButtonClick();
    void ClearButtonClick();
    void SelectedLVChange();
    void SelectedLVSelectItem(int index, bool selected);
    void SelectedLVDblClick();
    bool SelectedLVMouseDown(QMouseEvent* event);
    bool SelectedLVKeyDown(QKeyEvent* event);
    QString SelectedLVInfoTip(int index) const;
    void RefreshSelectedList();
    void FilesCntxPopup();
    void SelectedCntxPopup();
    void AddItemClick();
    void Addall1Click();
    void DeleteItemClick();
    void ClearAllItemClick();

    // Temporary copies.
    QString ReadablePath(const QString& path) const;
    const TTempCopies& TempCopies() const { return *tempCopies_; }

    bool TempCopiesInUse() const { return UseTempCopies; }

    // Which pictures count as removable; the mount table by default, tests replace it.
    std::function<bool(const QString&)> IsRemovableDrive = IsOnRemovableDrive;

    // Preview, save and the top bar (MainFormCommands.cpp).
    void StartButtonClick();
    void OnProgress(QObject* sender, unsigned char stage, unsigned char percent,
                    const QString& message, bool& cancel);
    void SaveButtonClick();
    void DefFolderButtonClick();
    void ConfigButtonClick();
    void AboutButtonClick();
    void HelpButtonClick();
    // The keys the window answers wherever the focus is; the focused control gets them too.
    void FormKeyDown(const QKeyEvent* event);
    // The preview window; tests put a stand-in here.
    std::function<int(QStringList&, const TSlideShowOptions&)> RunSlideShow = ShowSlideShow;

    // Reordering and drags (SeriesDrag.cpp).
    void MakeUpItemClick();
    void MakeDownItemClick();
    void MakeFirstItemClick();
    void SelectedLVColumnClick(int column);
    bool FilesLVDragOver(const QDropEvent* event) const;
    bool SelectedLVDragOver(const QDropEvent* event) const;
    void SelectedLVDragDrop(const QDropEvent* event);
    void FilesLVDragDrop(const QDropEvent* event);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool event(QEvent* event) override;

  private:
    class BusyScope;

    void PrepareTempFolder();
    void ConnectHandlers();
    void ConnectLists();
    void ConnectMenus();
    void ConnectCommands();
    void ConnectDrags();
    // Runs work as a command that lets events run (see the class comment).
    void RunBusy(const std::function<void()>& work);
    void RunFormCommand(TFormCommand command);

    void MoveSelectedUp();
    void MoveSelectedDown();
    void RebuildSeriesList();
    // After a change of the series order: rebuilds the list and selects item selected; a
    // negative selected (nothing moved) leaves the list alone.
    void ShowMovedSeries(int selected);
    void DropFilesIntoSeries(int target);
    void MoveInsideSeries(int target);
    void CopyDroppedToTemp(const QStringList& paths);
    void FormClose();
    void RemoveTempFolder();

    int PutBack(const QString& path);
    void AddPictures(const QStringList& picked);
    void AddPicture(const QString& caption, bool removable);
    void FinishAdd(int first);
    void ShowAddGauge(int maximum);

    bool UseTempCopies = true;
    bool NoDrag = false;

    std::unique_ptr<TTempCopies> tempCopies_;
    std::unique_ptr<TxGauge> addGauge_;
    bool closePending_ = false;
    bool closed_ = false;
    // The key event seen last and its first receiver: a key that the focused control
    // leaves goes on to its parents, and the window must answer it once only.
    const QEvent* keySeen_ = nullptr;
    QPointer<QWidget> keyReceiver_;
};
