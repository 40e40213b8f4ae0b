#include "app/MainWindow/MainFormUi.h"

#include "app/ArtResources.h"

namespace {

// Design sizes of the window's client area, the status bar excluded.
constexpr int kClientWidth = 592;
constexpr int kClientHeight = 418;
constexpr int kStatusBarHeight = 19;
constexpr unsigned kAllSides = akLeft | akTop | akRight | akBottom;
constexpr unsigned kTopRight = akTop | akRight;
constexpr unsigned kBottomLeft = akLeft | akBottom;

const QColor kFolderText(0x00, 0x80, 0x00);

QFont ArialFont(bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    font.setBold(bold);
    return font;
}

TPanel* NewPanel(QWidget* parent, const char* name) {
    auto* panel = new TPanel(parent);
    panel->setObjectName(QString::fromLatin1(name));
    return panel;
}

// A control of the split area: named, put at its design bounds, then aligned in its panel.
template <class Control>
Control* Place(Control* control, const char* name, const QRect& rect, TAlign align) {
    control->setObjectName(QString::fromLatin1(name));
    SetBounds(control, rect.x(), rect.y(), rect.width(), rect.height());
    SetAlign(control, align);
    return control;
}

TPanel* NewAlignedPanel(QWidget* parent, const char* name, const QRect& rect, TAlign align) {
    return Place(new TPanel(parent), name, rect, align);
}

TSplitter* NewSplitter(QWidget* parent, const char* name, const QRect& rect, TAlign align) {
    return Place(new TSplitter(parent), name, rect, align);
}

QFrame* NewBevel(QWidget* parent, const char* name, QFrame::Shape shape, const QRect& rect,
                 unsigned anchors) {
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(QString::fromLatin1(name));
    bevel->setFrameShape(shape);
    bevel->setFrameShadow(QFrame::Sunken);
    SetBounds(bevel, rect.x(), rect.y(), rect.width(), rect.height());
    SetAnchors(bevel, anchors);
    return bevel;
}

QToolButton* NewGlyphButton(QWidget* parent, const char* name, const QString& glyph, int left,
                            const QString& hint) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(ButtonIcon(glyph));
    button->setAutoRaise(true);
    SetBounds(button, left, 4, 24, 23);
    SetAnchors(button, kTopRight);
    SetHint(button, hint);
    return button;
}

QToolButton* NewTextButton(QWidget* parent, const char* name, const QString& caption,
                           const QRect& rect, const QString& hint, bool bold) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setFont(ArialFont(bold));
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFocusPolicy(Qt::NoFocus);
    button->setEnabled(false);
    SetBounds(button, rect.x(), rect.y(), rect.width(), rect.height());
    SetAnchors(button, kBottomLeft);
    SetHint(button, hint);
    return button;
}

// A count under one of the lists, centred over the list's width.
QLabel* NewCountLabel(QWidget* parent, const char* name, const QString& text, int left) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    SetBounds(label, left, 10, 189, 16);
    return label;
}

QAction* NewMenuEntry(QMenu* menu, const char* name, const QString& caption, bool enabled) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setEnabled(enabled);
    return action;
}

void Separator(QMenu* menu, const char* name) {
    menu->addSeparator()->setObjectName(QString::fromLatin1(name));
}

}  // namespace

void SetHint(QWidget* control, const QString& hint) {
    control->setToolTip(hint);
    control->setStatusTip(hint);
}

void TMainFormUi::BuildUi(QMainWindow* form) {
    form->setObjectName(QStringLiteral("MainForm"));
    form->setWindowTitle(QStringLiteral("Orvane Viewer"));
    form->setWindowIcon(ProgramIcon());
    form->setFont(ArialFont());
    auto* client = NewPanel(form, "ClientPanel");
    form->setCentralWidget(client);
    SetBounds(client, 0, 0, kClientWidth, kClientHeight);
    MainStatusBar = new QStatusBar(form);
    MainStatusBar->setObjectName(QStringLiteral("MainStatusBar"));
    MainStatusBar->setFixedHeight(kStatusBarHeight);
    form->setStatusBar(MainStatusBar);

    MainPanel = NewPanel(client, "MainPanel");
    MainPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    SetBounds(MainPanel, 1, 1, kClientWidth - 2, kClientHeight - 1);
    SetAnchors(MainPanel, kAllSides);
    BuildTopBar();
    BuildSplitArea();
    BuildBottomBar();
    BuildMenus(form);
}

void TMainFormUi::BuildTopBar() {
    Label1 = new QLabel(QStringLiteral("Current Folder:"), MainPanel);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->adjustSize();
    SetBounds(Label1, 6, 8, Label1->width(), Label1->height());
    FolderEdit = new QLineEdit(MainPanel);
    FolderEdit->setObjectName(QStringLiteral("FolderEdit"));
    FolderEdit->setReadOnly(true);
    QPalette pal = FolderEdit->palette();
    pal.setColor(QPalette::Text, kFolderText);
    FolderEdit->setPalette(pal);
    SetBounds(FolderEdit, 92, 4, 371, 23);
    SetAnchors(FolderEdit, akLeft | akTop | akRight);
    SetHint(FolderEdit, QStringLiteral("Current folder"));
    DefFolderButton =
        NewGlyphButton(MainPanel, "DefFolderButton", QStringLiteral("deffolder"), 468,
                       QStringLiteral("Save current folder as default source folder"));
    Vert3Bevel = NewBevel(MainPanel, "Vert3Bevel", QFrame::VLine, QRect(497, 4, 2, 23), kTopRight);
    ConfigButton = NewGlyphButton(MainPanel, "ConfigButton", QStringLiteral("config"), 504,
                                  QStringLiteral("Configuration of the program"));
    AboutButton = NewGlyphButton(MainPanel, "AboutButton", QStringLiteral("about"), 532,
                                 QStringLiteral("About Orvane Viewer"));
    HelpButton = NewGlyphButton(MainPanel, "HelpButton", QStringLiteral("help"), 560,
                                QStringLiteral("Help"));
    Horz1Bevel = NewBevel(MainPanel, "Horz1Bevel", QFrame::HLine, QRect(2, 29, 586, 2),
                          akLeft | akTop | akRight);
}

void TMainFormUi::BuildSplitArea() {
    MainSplit = NewPanel(MainPanel, "MainSplit");
    SetBounds(MainSplit, 3, 31, 586, 352);
    BuildLeftColumn();
    SplitV = NewSplitter(MainSplit, "SplitV", QRect(202, 0, 2, 352), TAlign::Left);
    SplitV->SetBeveled(true);
    MainRight = NewAlignedPanel(MainSplit, "MainRight", QRect(204, 0, 382, 352), TAlign::Client);
    BuildLists();
}

void TMainFormUi::BuildLeftColumn() {
    MainLeft = NewAlignedPanel(MainSplit, "MainLeft", QRect(0, 0, 202, 352), TAlign::Left);
    LeftTopPnl = NewAlignedPanel(MainLeft, "LeftTopPnl", QRect(0, 0, 202, 176), TAlign::Top);
    DirTree = Place(new TFolderTree(LeftTopPnl), "DirTree", QRect(0, 0, 202, 176), TAlign::Client);
    SetHint(DirTree, QStringLiteral("Select folder"));
    SplitH = NewSplitter(MainLeft, "SplitH", QRect(0, 176, 202, 3), TAlign::Top);
    LeftBottomPnl =
        NewAlignedPanel(MainLeft, "LeftBottomPnl", QRect(0, 179, 202, 173), TAlign::Client);
    EmptyImage = ArtImage(QStringLiteral("placeholder.png"));
}

void TMainFormUi::BuildLists() {
    MainListPnl = NewAlignedPanel(MainRight, "MainListPnl", QRect(0, 0, 382, 303), TAlign::Top);
    FilesPnl = NewAlignedPanel(MainListPnl, "FilesPnl", QRect(0, 0, 189, 303), TAlign::Left);
    FilesLV = new TListView(FilesPnl, QStringLiteral("Pictures in current folder"), true);
    FilesLV->SetSorted(true);
    FilesLV->setColumnWidth(0, 184);
    Place(FilesLV, "FilesLV", QRect(0, 0, 189, 303), TAlign::Client);
    SetHint(FilesLV, QStringLiteral("List of the pictures in the current folder"));
    SplitList = NewSplitter(MainListPnl, "SplitList", QRect(189, 0, 4, 303), TAlign::Left);
    SelectedPnl =
        NewAlignedPanel(MainListPnl, "SelectedPnl", QRect(193, 0, 189, 303), TAlign::Client);
    SelectedLV = Place(new TListView(SelectedPnl, QStringLiteral("Selected pictures"), false),
                       "SelectedLV", QRect(0, 0, 189, 303), TAlign::Client);
    SetHint(SelectedLV, QStringLiteral("List of the selected pictures"));

    RightBottomPnl =
        NewAlignedPanel(MainRight, "RightBottomPnl", QRect(0, 303, 382, 49), TAlign::Client);
    TotalFilesLabel =
        NewCountLabel(RightBottomPnl, "TotalFilesLabel", QStringLiteral("No files in folder"), 8);
    TotalSelectedLabel = NewCountLabel(RightBottomPnl, "TotalSelectedLabel",
                                       QStringLiteral("No pictures currently selected"), 193);
}

void TMainFormUi::BuildBottomBar() {
    Horz2Bevel = NewBevel(MainPanel, "Horz2Bevel", QFrame::HLine, QRect(2, 383, 586, 2),
                          akLeft | akRight | akBottom);
    OptiTrackBar = new QSlider(Qt::Horizontal, MainPanel);
    OptiTrackBar->setObjectName(QStringLiteral("OptiTrackBar"));
    OptiTrackBar->setRange(0, 3);
    OptiTrackBar->setPageStep(1);
    OptiTrackBar->setTickPosition(QSlider::TicksBelow);
    OptiTrackBar->setTickInterval(1);
    OptiTrackBar->setValue(1);
    OptiTrackBar->setFocusPolicy(Qt::NoFocus);
    SetBounds(OptiTrackBar, 3, 388, 46, 25);
    SetAnchors(OptiTrackBar, kBottomLeft);
    SetHint(OptiTrackBar, QStringLiteral("Preview quality"));
    PreviewButton = NewTextButton(
        MainPanel, "PreviewButton", QStringLiteral("Preview"), QRect(50, 388, 85, 25),
        QStringLiteral("Preview selected pictures with rotation effect (Alt + P)"), true);
    SaveButton =
        NewTextButton(MainPanel, "SaveButton", QStringLiteral("Save"), QRect(140, 388, 61, 25),
                      QStringLiteral("Save selected pictures as package (Alt + S)"), true);
    Vert2Bevel =
        NewBevel(MainPanel, "Vert2Bevel", QFrame::VLine, QRect(205, 385, 2, 31), kBottomLeft);
    SelectAllButton = NewTextButton(MainPanel, "SelectAllButton", QStringLiteral("Select all"),
                                    QRect(213, 388, 89, 25),
                                    QStringLiteral("Select all pictures in current folder"), false);
    AddButton = NewTextButton(
        MainPanel, "AddButton", QStringLiteral("Add"), QRect(306, 388, 89, 25),
        QStringLiteral("Add selected pictures from current folder to the list"), false);
    DeleteButton =
        NewTextButton(MainPanel, "DeleteButton", QStringLiteral("Delete"), QRect(402, 388, 89, 25),
                      QStringLiteral("Delete selected picture from list"), false);
    ClearButton =
        NewTextButton(MainPanel, "ClearButton", QStringLiteral("Clear"), QRect(496, 388, 89, 25),
                      QStringLiteral("Remove all pictures from list"), false);
}

void TMainFormUi::BuildMenus(QWidget* form) {
    FilesCntx = new QMenu(form);
    FilesCntx->setObjectName(QStringLiteral("FilesCntx"));
    AddItem = NewMenuEntry(FilesCntx, "AddItem", QStringLiteral("&Add"), false);
    Addall1 = NewMenuEntry(FilesCntx, "Addall1", QStringLiteral("Add all"), true);
    Separator(FilesCntx, "N1");
    SelectAllItem = NewMenuEntry(FilesCntx, "SelectAllItem", QStringLiteral("Select All"), true);

    SelectedCntx = new QMenu(form);
    SelectedCntx->setObjectName(QStringLiteral("SelectedCntx"));
    MakeUpItem = NewMenuEntry(SelectedCntx, "MakeUpItem", QStringLiteral("Move &up"), false);
    MakeDownItem = NewMenuEntry(SelectedCntx, "MakeDownItem", QStringLiteral("Move &down"), false);
    Separator(SelectedCntx, "N2");
    MakeFirstItem =
        NewMenuEntry(SelectedCntx, "MakeFirstItem", QStringLiteral("Make &first"), false);
    Separator(SelectedCntx, "N3");
    DeleteItem = NewMenuEntry(SelectedCntx, "DeleteItem", QStringLiteral("&Remove"), false);
    Separator(SelectedCntx, "N4");
    ClearAllItem = NewMenuEntry(SelectedCntx, "ClearAllItem", QStringLiteral("&Clear all"), false);
}
