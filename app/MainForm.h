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
#include <QStringList>
#include <functional>
#include <memory>

#include "app/FolderView.h"
#include "app/TempCopies.h"
#include "app/xGauge.h"

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
    void SelectAllButtonClick() override;
    void AddButtonClick() override;
    void DeleteButtonClick();
    void ClearButtonClick();
    void SelectedLVChange();
    void SelectedLVSelectItem(int index, bool selected);
    void SelectedLVDblClick();
    bool SelectedLVMouseDown(QMouseEvent* event);
    bool SelectedLVKeyDown(QKeyEvent* event);
    QString SelectedLVInfoTip(int index) const;
    void RefreshSelectedList() override;
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

  protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool event(QEvent* event) override;

  private:
    class BusyScope;

    void PrepareTempFolder();
    void ConnectHandlers();
    void ConnectLists();
    void ConnectMenus();
    void FormClose();
    void RemoveTempFolder();

    void PutBack(const QString& path);
    void AddPicture(const QString& caption, bool removable);
    void ShowAddGauge(int maximum);
    void QueueUnreadableSeriesPicture(const QString& path);

    bool UseTempCopies = true;
    QString TempFolder;
    bool NoDrag = false;

    std::unique_ptr<TTempCopies> tempCopies_;
    std::unique_ptr<TxGauge> addGauge_;
    bool closePending_ = false;
    bool closed_ = false;
};
