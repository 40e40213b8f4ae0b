#pragma once
// The folder side of the main window: the current folder's pictures in the file list,
// the thumbnail of the selected one and the count labels and buttons that follow both
// lists. It also holds what the folder side and the series share: the series' paths,
// the busy state of commands that let events run, and the queue for work that must not
// run inside a list's own change. It knows nothing of the series commands: the main window
// (TMainForm) wires the lists and the thumbnail to them.
//
// UI thread only.

#include <QMainWindow>
#include <QSet>
#include <QStringList>
#include <functional>
#include <vector>

#include "Components/ImgPanel/ImgPanel.h"
#include "app/MainWindow/MainLayout.h"

class TFolderView : public QMainWindow, public TMainLayout {
  public:
    explicit TFolderView(QWidget* owner);

    void DirTreeChange();
    void RefreshFilesList();
    void FilesLVChange();
    void FilesLVSelectItem(int index, bool selected);
    bool FilesLVMouseDown(QMouseEvent* event);
    void ShowThumbnail(const QString& name);
    void MainEventsIdle();
    void OptiTrackBarChange();

    TImgPanel* ImagePanel = nullptr;
    // Opens the full-size preview of a picture (set when the preview window exists).
    std::function<void(const QString&)> ShowPreview;

    // Read-only views for the windows and tests that drive this one.
    const QString& CurrentFolderPath() const { return CurrentFolder; }
    const QStringList& Series() const { return SelectedFiles; }
    const QStringList& FolderFileNames() const { return FolderFiles; }
    const QString& Thumbnail() const { return ThumbnailFile; }
    bool IsBusy() const { return busy_; }

  protected:
    void UpdateFilesLabel();
    void UpdateSelectedLabel();
    void UpdateSeriesButtons();
    void ReportUnreadable(const QString& path);
    // Once per folder and run, from the event loop: why pictures of folder are not listed,
    // their names (count of them) or the folder's own name (count 0) not being valid UTF-8.
    // atStart: folder is the configured source folder, which the tree could not open.
    void TellWhyNotListed(const QString& folder, int count, bool atStart = false);
    // Runs work from the event loop once no command that lets events run is busy.
    void RunAfterwards(std::function<void()> work);
    // The message box and the rebuilt list (refreshList) for an unreadable picture, queued
    // after the selection change; one report at a time.
    void QueueUnreadable(const QString& path, std::function<void()> refreshList);
    // HitItem from a mouse press on list; a press beside every item clears the thumbnail.
    void HitTestList(const TListView* list, const QMouseEvent* event);

    QStringList FolderFiles;
    int HitItem = -1;
    bool FirstIdle = true;
    QString ThumbnailFile;
    QString CurrentFolder;
    QStringList SelectedFiles;

    bool busy_ = false;
    bool treeChangePending_ = false;
    bool unreadableQueued_ = false;
    QSet<QString> toldUncarried_;
    std::vector<std::function<void()>> deferred_;

  private:
    void CreateImagePanel();
};
