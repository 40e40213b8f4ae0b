#include "app/MainWindow/MainLayout.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "app/Dialogs/ConfigForm.h"
#include "platform/IniFile.h"
#include "platform/IniLocation.h"
#include "platform/ScreenFit.h"

using namespace mainwin;

namespace {

const QString kWindow = QStringLiteral("Window");
const QString kSpliters = QStringLiteral("Spliters");
constexpr int kSettleMs = 1000;

QSize PrimaryScreenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->geometry().size() : QSize(800, 600);
}

// The box around every screen's work area: stored values are first brought within its reach.
QRect Bounds(const std::vector<QRect>& areas) {
    QRect bounds;
    for (const QRect& area : areas) {
        bounds |= area;
    }
    return bounds;
}

// A stored size within reach of the screens and at least the window's minimum, so that a
// missing Left or Top centres the window at the size it opens with.
int ReadStoredSize(const TIniFile& ini, const QString& key, int minimum, int extent) {
    return std::max(minimum, LimitStoredSize(ini.ReadInteger(kWindow, key, minimum), extent));
}

}  // namespace

int TMainLayout::LeftReserve() const {
    return SelectAllButton->width() + AddButton->width() + DeleteButton->width() +
           ClearButton->width() + 40;
}

int TMainLayout::SeriesReserve() const {
    return DeleteButton->width() + ClearButton->width() + 20;
}

void TMainLayout::FitListColumn(TListView* list, int margin) {
    list->FitColumn(margin);
}

BottomBarInput TMainLayout::BottomBarInputs() const {
    BottomBarInput in;
    in.vert2BevelLeft = Vert2Bevel->x();
    in.saveWidth = SaveButton->width();
    in.previewWidth = PreviewButton->width();
    in.mainListLeft = MainListPnl->x();
    in.filesLeft = FilesPnl->x();
    in.filesWidth = FilesPnl->width();
    in.selectedLeft = SelectedPnl->x();
    in.selectedWidth = SelectedPnl->width();
    in.selectedListWidth = SelectedLV->width();
    in.mainRightLeft = MainRight->x();
    in.selectAllWidth = SelectAllButton->width();
    in.addWidth = AddButton->width();
    in.deleteWidth = DeleteButton->width();
    in.clearWidth = ClearButton->width();
    return in;
}

void TMainLayout::ApplyBottomBarStep1(const BottomBarLayout& layout) {
    SetLeft(SaveButton, layout.saveLeft);
    SetLeft(PreviewButton, layout.previewLeft);
    SetWidth(OptiTrackBar, layout.trackBarWidth);
}

void TMainLayout::ApplyBottomBarLists(const BottomBarLayout& layout) {
    SetLeft(TotalFilesLabel, layout.filesLabelLeft);
    SetWidth(TotalFilesLabel, layout.filesLabelWidth);
    SetLeft(TotalSelectedLabel, layout.selectedLabelLeft);
    SetWidth(TotalSelectedLabel, layout.selectedLabelWidth);
    SetLeft(SelectAllButton, layout.selectAllLeft);
    SetLeft(AddButton, layout.addLeft);
    SetLeft(DeleteButton, layout.deleteLeft);
    SetLeft(ClearButton, layout.clearLeft);
}

void TMainLayout::ArrangeBottomBar() {
    ApplyBottomBarStep1(ArrangeBottomBarLayout(BottomBarInputs()));
    ApplyBottomBarLists(ArrangeBottomBarLayout(BottomBarInputs()));
}

void TMainLayout::ArrangeLists() {
    ApplyBottomBarLists(ArrangeBottomBarLayout(BottomBarInputs()));
}

void TMainLayout::FormResize() {
    OldSplitWidth = MainSplit->width();
    OldTreeHeight = LeftTopPnl->height();
    OldRightWidth = MainRight->width();
    OldFilesWidth = FilesPnl->width();
}

void TMainLayout::MainPanelResize() {
    const QWidget* client = MainPanel->parentWidget();
    SetBounds(MainPanel, 1, 1, client->width() - 2, client->height() - 1);
    ApplyBottomBarStep1(ArrangeBottomBarLayout(BottomBarInputs()));
    // One after the other, as each change runs the panels' own rules in between.
    SetTop(MainSplit, Horz1Bevel->y() + Horz1Bevel->height());
    SetLeft(MainSplit, MainPanel->x() + 3);
    SetHeight(MainSplit, Horz2Bevel->y() - MainSplit->y());
    SetWidth(MainSplit, MainPanel->width() - 7);
    SetHeight(MainListPnl, MainRight->height() - 21);
    FitListColumn(FilesLV, 4);
    FitListColumn(SelectedLV, 4);
    const int labelTop = RightBottomPnl->height() / 4 - 2;
    SetTop(TotalFilesLabel, labelTop);
    SetTop(TotalSelectedLabel, labelTop);
    ArrangeLists();
}

void TMainLayout::MainSplitResize() {
    const int width = MainSplit->width();
    if (auto left = ProportionalLeftWidth(width, OldSplitWidth, OldLeftWidth, LeftReserve())) {
        SetWidth(MainLeft, *left);
        OldLeftWidth = MainLeft->width();
    }
}

void TMainLayout::MainLeftResize() {
    const int height = MainLeft->height();
    if (FormShown) {
        if (auto tree = ProportionalTreeHeight(height, OldLeftHeight, OldTreeHeight)) {
            SetHeight(LeftTopPnl, *tree);
        }
    }
    SetHeight(LeftTopPnl, ClampTreeHeight(LeftTopPnl->height(), height));
    OldLeftHeight = height;
    OldTreeHeight = LeftTopPnl->height();
    OldSplitWidth = MainSplit->width();
}

void TMainLayout::MainRightResize() {
    if (FilesPnl->width() + SplitList->width() + SelectedPnl->width() > MainRight->width()) {
        SetWidth(MainRight, 396);
    }
    const int width = MainRight->width();
    const int lower = SelectAllButton->width() + AddButton->width() + 20;
    const int upper = MainListPnl->width() - SeriesReserve();
    if (FormShown) {
        if (auto files =
                ProportionalFilesWidth(width, OldRightWidth, OldFilesWidth, lower, upper)) {
            SetWidth(FilesPnl, *files);
        }
    }
    FitListColumn(FilesLV, 4);
    FitListColumn(SelectedLV, 4);
    SetLeft(Vert2Bevel, SplitV->x() + 4);
    ArrangeBottomBar();
}

void TMainLayout::MainListPnlResize() {
    OldLeftHeight = MainLeft->height();
    OldTreeHeight = LeftTopPnl->height();
}

void TMainLayout::SplitHCanResize(int& newSize, bool& accept) {
    accept = accept && AcceptTreeHeight(newSize, MainLeft->height());
}

void TMainLayout::SplitVCanResize(int& newSize, bool& accept) {
    accept = accept && AcceptLeftWidth(newSize, MainSplit->width(), LeftReserve());
}

void TMainLayout::SplitListCanResize(int& newSize, bool& accept) {
    OldFilesWidth = FilesPnl->width();
    accept = accept && AcceptFilesWidth(newSize, MainListPnl->width(), SeriesReserve());
}

void TMainLayout::SplitHMoved() {
    OldTreeHeight = LeftTopPnl->height();
    OldLeftWidth = MainLeft->width();
    OldLeftHeight = MainLeft->height();
}

void TMainLayout::SplitVMoved() {
    SplitHMoved();
    OldRightWidth = MainRight->width();
    OldFilesWidth = FilesPnl->width();
}

void TMainLayout::SplitListMoved() {
    OldFilesWidth = FilesPnl->width();
    FitListColumn(SelectedLV, 4);
    FitListColumn(FilesLV, 4);
    ArrangeLists();
}

void TMainLayout::ConnectLayout() {
    if (auto* client = qobject_cast<TPanel*>(MainPanel->parentWidget())) {
        client->OnResize = [this] { FormResize(); };
    }
    MainPanel->OnResize = [this] { MainPanelResize(); };
    MainSplit->OnResize = [this] { MainSplitResize(); };
    MainLeft->OnResize = [this] { MainLeftResize(); };
    MainRight->OnResize = [this] { MainRightResize(); };
    MainListPnl->OnResize = [this] { MainListPnlResize(); };
    SplitH->OnCanResize = [this](int& size, bool& accept) { SplitHCanResize(size, accept); };
    SplitV->OnCanResize = [this](int& size, bool& accept) { SplitVCanResize(size, accept); };
    SplitList->OnCanResize = [this](int& size, bool& accept) { SplitListCanResize(size, accept); };
    SplitH->OnMoved = [this] { SplitHMoved(); };
    SplitV->OnMoved = [this] { SplitVMoved(); };
    SplitList->OnMoved = [this] { SplitListMoved(); };
}

void TMainLayout::SizeClientArea(QMainWindow* form, QSize outer) {
    const QSize client(outer.width() - frameSeen_.left() - frameSeen_.right(),
                       outer.height() - frameSeen_.top() - frameSeen_.bottom());
    form->resize(client);
    // The window's own layout runs only once it is shown; the panels are sized now so
    // that the stored splitter positions are checked against the real sizes.
    SetBounds(form->centralWidget(), 0, 0, client.width(),
              client.height() - MainStatusBar->height());
}

void TMainLayout::ReadWindowSettings(QMainWindow* form) {
    const TIniFile ini(platform::IniFilePath());
    maximised_ =
        ini.ReadString(kWindow, QStringLiteral("State"), QStringLiteral("MAX")).toUpper() == u"MAX";
    const std::vector<QRect> areas = platform::AvailableScreenAreas();
    const QRect& work = areas.front();
    const QSize screen = PrimaryScreenSize();
    const QRect screens = Bounds(areas);
    StoredWindow stored;
    stored.width = ReadStoredSize(ini, QStringLiteral("Width"), kMinFormWidth, screens.width());
    stored.height = ReadStoredSize(ini, QStringLiteral("Height"), kMinFormHeight, screens.height());
    stored.left =
        ini.ReadInteger(kWindow, QStringLiteral("Left"), (screen.width() - stored.width) / 2);
    stored.top =
        ini.ReadInteger(kWindow, QStringLiteral("Top"), (screen.height() - stored.height) / 2);
    normal_ = PlaceStoredWindow(stored, areas);

    SavedSplitH =
        LimitStoredSize(ini.ReadInteger(kSpliters, QStringLiteral("SplitH"), 0), screens.height());
    SavedSplitV =
        LimitStoredSize(ini.ReadInteger(kSpliters, QStringLiteral("SplitV"), 0), screens.width());
    SavedSplitList = LimitStoredSize(ini.ReadInteger(kSpliters, QStringLiteral("SplitList"), 0),
                                     screens.width());

    SizeClientArea(form, maximised_ ? work.size() : QSize(normal_.width, normal_.height));
    if (!maximised_) {
        form->move(normal_.left, normal_.top);
    }
}

void TMainLayout::PlaceStoredSplitters() {
    SetHeight(LeftTopPnl, TreeHeightForStored(SavedSplitH, MainLeft->height()));
    const int left = LeftWidthForStored(SavedSplitV, MainSplit->width(), LeftReserve());
    SetWidth(MainLeft, left);
    const int files = FilesWidthForStored(SavedSplitList, MainListPnl->width(), SeriesReserve(),
                                          SplitList->width());
    SetWidth(FilesPnl, files);
    const int margin = SavedSplitList != 0 ? 5 : 4;
    FitListColumn(FilesLV, margin);
    FitListColumn(SelectedLV, margin);
    SetLeft(Vert2Bevel, SavedSplitList != 0 ? left + 4 : SplitV->x() + 4);
    ArrangeBottomBar();
}

void TMainLayout::TakeSizeSnapshot() {
    OldTreeHeight = LeftTopPnl->height();
    OldLeftWidth = MainLeft->width();
    OldLeftHeight = MainLeft->height();
    OldRightWidth = MainRight->width();
    OldFilesWidth = FilesPnl->width();
}

void TMainLayout::ShowWindow(QMainWindow* form) {
    placedFor_ = form->size();
    settling_ = true;
    if (maximised_) {
        form->showMaximized();
    } else {
        form->showNormal();
    }
    form->repaint();
    FormShown = true;
    FitFrame(form, true);
    // The window system places and sizes a new window shortly after it is shown; until
    // then the stored layout is laid out again for each size it gives.
    QTimer::singleShot(kSettleMs, form, [this] { settling_ = false; });
}

void TMainLayout::FitFrame(QMainWindow* form, bool fromWindowSystem) {
    const QRect frame = form->frameGeometry();
    const QRect inner = form->geometry();
    const QMargins seen(inner.left() - frame.left(), inner.top() - frame.top(),
                        frame.right() - inner.right(), frame.bottom() - inner.bottom());
    if (seen != frameSeen_) {
        frameSeen_ = seen;
        form->setMinimumSize(kMinFormWidth - seen.left() - seen.right(),
                             kMinFormHeight - seen.top() - seen.bottom());
        if (!form->isMaximized() && !form->isFullScreen()) {
            form->resize(normal_.width - seen.left() - seen.right(),
                         normal_.height - seen.top() - seen.bottom());
            form->move(normal_.left, normal_.top);
        }
    }
    if (settling_ && fromWindowSystem && form->size() != placedFor_) {
        placedFor_ = form->size();
        PlaceStoredSplitters();
        TakeSizeSnapshot();
    }
}

void TMainLayout::WriteWindowSettings(QMainWindow* form) {
    TIniFile ini(platform::IniFilePath());
    if (!form->isMaximized()) {
        const QRect frame = form->frameGeometry();
        ini.WriteInteger(kWindow, QStringLiteral("Left"), frame.x());
        ini.WriteInteger(kWindow, QStringLiteral("Top"), frame.y());
        ini.WriteInteger(kWindow, QStringLiteral("Width"), frame.width());
        ini.WriteInteger(kWindow, QStringLiteral("Height"), frame.height());
        ini.WriteString(kWindow, QStringLiteral("State"), QStringLiteral("NRM"));
    } else {
        ini.WriteString(kWindow, QStringLiteral("State"), QStringLiteral("MAX"));
    }
    ini.WriteInteger(kSpliters, QStringLiteral("SplitH"), SplitH->y());
    ini.WriteInteger(kSpliters, QStringLiteral("SplitV"), MainLeft->width());
    ini.WriteInteger(kSpliters, QStringLiteral("SplitList"), FilesPnl->width());
    if (!ini.UpdateFile()) {
        ReportSettingsFileProblem(ini, true);
    }
}
