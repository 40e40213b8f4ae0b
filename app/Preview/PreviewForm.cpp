#include "app/Preview/PreviewForm.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/MessageService.h"
#include "platform/ScreenFit.h"

namespace {

constexpr int kMinimumClient = 200;
constexpr int kClientMargin = 4;
constexpr int kSizePanelPadding = 17;
constexpr int kStatusBarSlack = 20;

// One direction of the fit where the picture needs no scrolling: the client's extent
// (the picture's, at least 200, with what goes beside it, within the area) and its start.
std::pair<int, int> FitAlong(int picture, int extra, int areaStart, int areaExtent) {
    const int client = std::min(std::max(picture, kMinimumClient) + extra, areaExtent);
    return {client, areaStart + (areaExtent - client) / 2};
}

QRect AvailableWorkArea(const QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

}  // namespace

TPreviewPlacement FitPreviewWindow(QSize picture, int statusBarHeight, const QRect& workArea,
                                   QSize scrollBars) {
    // The picture box is what the largest window leaves above the status bar; the margin
    // is added only where there is room for it.
    const QSize largestBox(workArea.width(), workArea.height() - statusBarHeight);
    const TScrollNeed scrolls = NeededScrollBars(picture, largestBox, scrollBars);
    const auto [width, left] =
        scrolls.across
            ? std::pair{workArea.width(), workArea.left()}
            : FitAlong(picture.width(), kClientMargin + (scrolls.down ? scrollBars.width() : 0),
                       workArea.left(), workArea.width());
    const auto [height, top] =
        scrolls.down
            ? std::pair{workArea.height(), workArea.top()}
            : FitAlong(picture.height(),
                       statusBarHeight + kClientMargin + (scrolls.across ? scrollBars.height() : 0),
                       workArea.top(), workArea.height());
    const bool maximised =
        picture.width() > workArea.width() && picture.height() > workArea.height();
    return {QRect(left, top, width, height), maximised};
}

QString PictureSizeText(int width, int height, int depth) {
    return QStringLiteral("%1 x %2 x %3").arg(width).arg(height).arg(depth) +
           (depth >= 24 ? QStringLiteral("b") : QString());
}

TfrmPreview::TfrmPreview(QWidget* owner, const QString& fileName)
    : QDialog(owner, Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                         Qt::WindowCloseButtonHint),
      fileName_(fileName) {
    setObjectName(QStringLiteral("frmPreview"));
    setWindowTitle(QStringLiteral("Image preview"));
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    setMinimumSize(kMinimumClient, kMinimumClient);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    CreateStatusBar();
    FormCreate();
}

void TfrmPreview::CreateStatusBar() {
    StatusBar = new QWidget(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    // Every colour the bar paints with is set on the bar itself: a palette taken as it
    // is from the application has no role marked as set, so the form's black would
    // show through as the background of black text.
    QPalette own = QApplication::palette();
    for (const auto role : {QPalette::Window, QPalette::WindowText, QPalette::Mid}) {
        for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
            own.setColor(group, role, own.color(group, role));
        }
    }
    StatusBar->setPalette(own);
    StatusBar->setAutoFillBackground(true);
    const int smallIcon = style()->pixelMetric(QStyle::PM_SmallIconSize);
    StatusBar->setFixedHeight(smallIcon + 6);
    StatusBar->installEventFilter(this);
}

// A file that cannot be read leaves the form without a picture box, which ShowPreview
// reports.
void TfrmPreview::FormCreate() {
    try {
        PictureBox = new TPaintScroll(this, scrollTracking_, fileName_);
    } catch (const PreviewLoadError&) {
        PictureBox = nullptr;
        return;
    }
    PictureBox->setObjectName(QStringLiteral("PictureBox"));
    PictureBox->setPalette(palette());
    auto* column = static_cast<QVBoxLayout*>(layout());
    column->addWidget(PictureBox, 1);
    column->addWidget(StatusBar);
    sizeText_ = PictureSizeText(PictureBox->PictureWidth(), PictureBox->PictureHeight(),
                                PictureBox->BitDepth());
    FitWindow();
    StatusBarResize();
}

// The client is fitted to the work area less the window's frame, which must lie on it too.
void TfrmPreview::FitWindow() {
    const QSize scrollBars(PictureBox->verticalScrollBar()->sizeHint().width(),
                           PictureBox->horizontalScrollBar()->sizeHint().height());
    const QMargins frame = platform::FrameMarginsOf(
        parentWidget() ? parentWidget()->window()->windowHandle() : nullptr);
    const TPreviewPlacement placement =
        FitPreviewWindow(QSize(PictureBox->PictureWidth(), PictureBox->PictureHeight()),
                         StatusBar->height(), AvailableWorkArea(this) - frame, scrollBars);
    resize(placement.client.size());
    // move() places the frame's corner.
    move(placement.client.topLeft() - QPoint(frame.left(), frame.top()));
    if (placement.maximised) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void TfrmPreview::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TfrmPreview::FormShow() {
    if (PictureBox) {
        PictureBox->setVisible(true);
    }
}

void TfrmPreview::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QDialog::keyPressEvent(event);
}

QString TfrmPreview::PanelText(int panel) const {
    return panel == 0 ? fileName_ : panel == 1 ? sizeText_ : QString();
}

int TfrmPreview::PanelWidth(int panel) const {
    return panel == 0 || panel == 1 ? panelWidths_[panel] : 0;
}

void TfrmPreview::StatusBarResize() {
    panelWidths_[1] = StatusBar->fontMetrics().horizontalAdvance(sizeText_) + kSizePanelPadding;
    panelWidths_[0] = StatusBar->width() - panelWidths_[1] - kStatusBarSlack;
    StatusBar->update();
}

bool TfrmPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == StatusBar) {
        if (event->type() == QEvent::Resize) {
            StatusBarResize();
        } else if (event->type() == QEvent::Paint) {
            PaintStatusBar();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmPreview::PaintStatusBar() {
    QPainter painter(StatusBar);
    painter.fillRect(StatusBar->rect(), StatusBar->palette().color(QPalette::Window));
    const int height = StatusBar->height();
    const QRect name(0, 0, std::max(0, panelWidths_[0]), height);
    const QRect size(name.right() + 3, 0, panelWidths_[1], height);
    for (const QRect& panel : {name, size}) {
        painter.setPen(StatusBar->palette().color(QPalette::Mid));
        painter.drawRect(panel.adjusted(0, 1, -1, -1));
    }
    StatusBarDrawPanel(painter, 0, name);
    StatusBarDrawPanel(painter, 1, size);
}

// The name panel shows the file's small icon and its full name; the size panel its text
// centred.
void TfrmPreview::StatusBarDrawPanel(QPainter& painter, int panel, const QRect& rect) {
    painter.setPen(StatusBar->palette().color(QPalette::WindowText));
    if (panel == 1) {
        painter.drawText(rect, Qt::AlignCenter, sizeText_);
        return;
    }
    const int side = rect.height() - 2;
    const QIcon icon = QFileIconProvider().icon(QFileInfo(fileName_));
    icon.paint(&painter, QRect(rect.left() + 1, rect.top() + 1, side, side));
    const QFontMetrics metrics = painter.fontMetrics();
    const int textTop = rect.top() + (rect.height() - metrics.height()) / 2;
    painter.drawText(rect.left() + rect.height() + 2, textTop + metrics.ascent(), fileName_);
}

void ShowPreview(const QString& fileName) {
    if (!QFileInfo::exists(fileName)) {
        return;
    }
    TfrmPreview form(QApplication::activeWindow(), fileName);
    if (form.PictureBox) {
        form.exec();
        return;
    }
    platform::ShowMessage("Can't full preview image '" + fileName + "' !", QStringLiteral("Error"),
                          {platform::MsgButton::Ok}, platform::MsgIcon::Warning);
}
