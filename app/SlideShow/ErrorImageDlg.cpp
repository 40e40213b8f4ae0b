#include "app/SlideShow/ErrorImageDlg.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>

#include "app/SlideShow/SlideGeometry.h"
#include "imaging/DibDraw.h"
#include "platform/MessageService.h"

namespace {

constexpr int kClientWidth = 508;
constexpr int kPictureTop = 65;

QFrame* Bevel(QWidget* parent, const QRect& bounds, QFrame::Shape shape) {
    auto* bevel = new QFrame(parent);
    bevel->setFrameShape(shape);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(bounds);
    return bevel;
}

}  // namespace

TErrorImageDlg::TErrorImageDlg(const DibInfoHeader* picture, const QString& fileName,
                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Incorrect set of images"));
    setObjectName(QStringLiteral("ErrorImageDlg"));
    setFont(QFont(QStringLiteral("Arial"), 9));

    QRect area = slideshow::ErrorPictureRect({DibWidth(picture), DibHeight(picture)});
    area.moveTop(kPictureTop);

    auto* icon = new QLabel(this);
    icon->setGeometry(11, 13, 32, 32);
    icon->setPixmap(QPixmap(QStringLiteral(":/slideshow/ERROR")));
    icon->setScaledContents(true);

    AddPicture(picture, area);
    Bevel(this, {0, 58, kClientWidth, 2}, QFrame::HLine);

    auto* text = new QLabel(kText, this);
    text->setObjectName(QStringLiteral("ErrorText"));
    text->setGeometry(56, 4, 354, 51);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignCenter);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(425, 17, 75, 25);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    AddStatusBar(fileName, area.bottom() + 4);
}

void TErrorImageDlg::AddPicture(const DibInfoHeader* picture, const QRect& area) {
    QImage shown(area.size(), QImage::Format_RGB32);
    shown.fill(Qt::black);
    {
        QPainter painter(&shown);
        DibDraw(picture, painter, shown.rect(), true);
    }
    Bevel(this, area.adjusted(-1, -1, 1, 1), QFrame::Box);
    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("ErrorPicture"));
    image->setGeometry(area);
    image->setPixmap(QPixmap::fromImage(shown));
    image->setScaledContents(true);
}

void TErrorImageDlg::AddStatusBar(const QString& fileName, int top) {
    auto* status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    auto* name = new QLabel(QStringLiteral(" ") + fileName, status);
    name->setObjectName(QStringLiteral("ErrorFileName"));
    status->addWidget(name, 1);
    const int height = status->sizeHint().height();
    status->setGeometry(0, top, kClientWidth, height);
    setFixedSize(kClientWidth, top + height);
}

void ErrorImageDlg(const DibInfoHeader* picture, const QString& fileName, QWidget* parent) {
    TErrorImageDlg dialog(picture, fileName, parent);
    platform::Beep();
    dialog.exec();
}
