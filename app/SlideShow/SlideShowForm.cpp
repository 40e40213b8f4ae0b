#include "app/SlideShow/SlideShowForm.h"

#include <QCloseEvent>
#include <QPushButton>
#include <QTimer>

#include "app/SlideShow/SlideShow.h"
#include "app/SlideShow/SlideShowPlacement.h"
#include "app/SlideShow/SlideShowRules.h"
#include "platform/IniFile.h"
#include "platform/MessageService.h"
#include "platform/ScreenFit.h"

namespace {

constexpr QSize kDesignClientSize{532, 379};
constexpr QSize kOkButtonSize{75, 25};

slideshow::CloseAnswer AskApply(slideshow::CloseQuestion question) {
    using platform::MsgButton;
    std::vector<MsgButton> buttons{MsgButton::Yes, MsgButton::No};
    if (question == slideshow::CloseQuestion::YesNoCancel) {
        buttons.push_back(MsgButton::Cancel);
    }
    const MsgButton answer = platform::ShowMessage(
        QStringLiteral("Do you want to apply changes and close preview?"),
        QStringLiteral("Apply changes"), buttons, platform::MsgIcon::Question);
    switch (answer) {
        case MsgButton::Yes:
            return slideshow::CloseAnswer::Yes;
        case MsgButton::No:
            return slideshow::CloseAnswer::No;
        default:
            return slideshow::CloseAnswer::Cancel;
    }
}

}  // namespace

TSlideShowForm::TSlideShowForm(QWidget* owner, bool reduced, int rotateMode, const QString& iniFile)
    : QDialog(owner, Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowMaximizeButtonHint |
                         Qt::WindowCloseButtonHint),
      reduced_(reduced),
      iniFile_(iniFile) {
    setObjectName(QStringLiteral("SlideShowForm"));
    setWindowTitle(QStringLiteral("Preview your picture series as a 3D image."));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    setFont(font);
    setMinimumSize(kDesignClientSize);
    resize(kDesignClientSize);
    FormCreate();
    SlideShow->RotateMode = rotateMode;
    ApplyPlacement();
}

TSlideShowForm::~TSlideShowForm() = default;

void TSlideShowForm::FormCreate() {
    OkButton = new QPushButton(QStringLiteral("Close"), this);
    OkButton->setObjectName(QStringLiteral("OkButton"));
    OkButton->setToolTip(QStringLiteral("Close preview"));
    QFont bold = font();
    bold.setBold(true);
    OkButton->setFont(bold);
    OkButton->setDefault(true);
    OkButton->resize(kOkButtonSize);
    connect(OkButton, &QPushButton::clicked, this, &QWidget::close);

    SlideShow = new TSlideShow(this, reduced_, kRotateAsk, OkButton);
    SlideShow->setGeometry(2, 2, width() - 4, height() - 32);
    SlideShow->OnProgress = [this](QObject* sender, unsigned char stage, unsigned char percent,
                                   const QString& message, bool& cancel) {
        RelayProgress(sender, stage, percent, message, cancel);
    };
    connect(SlideShow, &TSlideShow::BusyEnded, this, &TSlideShowForm::CloseWhenIdle);
}

void TSlideShowForm::ApplyPlacement() {
    if (iniFile_.isEmpty()) {
        return;
    }
    const TIniFile ini(iniFile_);
    const slideshow::WindowPlacement placement = slideshow::ReadPlacement(
        ini, platform::AvailableScreenAreas(),
        platform::FrameMarginsOf(parentWidget() ? parentWidget()->window()->windowHandle()
                                                : nullptr));
    resize(placement.width, placement.height);
    move(placement.left, placement.top);
    if (placement.maximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
    }
}

void TSlideShowForm::FormClose() {
    if (iniFile_.isEmpty()) {
        return;
    }
    slideshow::WindowPlacement placement;
    placement.maximized = isMaximized();
    placement.width = width();
    placement.height = height();
    placement.left = pos().x();
    placement.top = pos().y();
    TIniFile ini(iniFile_);
    slideshow::WritePlacement(ini, placement);
    ini.UpdateFile();
}

void TSlideShowForm::LoadSeries(const QStringList& files, const QStringList& readable) {
    series_ = files;
    names_ = files;
    SlideShow->SetImages(readable.size() == files.size() ? readable : files);
}

void TSlideShowForm::RelayProgress(QObject*, unsigned char stage, unsigned char percent,
                                   const QString& message, bool& cancel) {
    if (stage == ssBegin) {
        OkButton->setEnabled(false);
    } else if (stage == ssEnd) {
        OkButton->setEnabled(true);
    }
    if (progressHandler_) {
        progressHandler_(this, stage, percent, message, cancel);
    }
}

void TSlideShowForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window restored from the task bar shows again spontaneously: play stays as it was.
    if (event->spontaneous()) {
        return;
    }
    SlideShow->Start();
}

void TSlideShowForm::hideEvent(QHideEvent* event) {
    // Minimising hides the window spontaneously; only a real hide ends the preview, or the
    // series would be emptied underneath a window that is still open.
    if (event->spontaneous()) {
        QDialog::hideEvent(event);
        return;
    }
    SlideShow->Stop();
    names_.clear();
    for (int loaded : SlideShow->GetLoadOrder()) {
        if (loaded >= 0 && loaded < series_.size()) {
            names_.append(series_[loaded]);
        }
    }
    SlideShow->Clear();
    QDialog::hideEvent(event);
}

void TSlideShowForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    SlideShow->setGeometry(2, 2, width() - 4, height() - 32);
    OkButton->move((width() - OkButton->width()) / 2, height() - 28);
}

void TSlideShowForm::reject() {
    close();
}

void TSlideShowForm::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (SlideShow->IsBusy()) {
        // Loading or turning is under way: the close goes ahead once it has ended.
        closePending_ = true;
        return;
    }
    const slideshow::CloseDecision decision =
        slideshow::DecideClose(reduced_, SlideShow->Changed, SlideShow->Count() == 0, AskApply);
    if (!decision.canClose) {
        return;
    }
    FormClose();
    event->accept();
    done(decision.modalResult);
}

void TSlideShowForm::CloseWhenIdle() {
    if (closePending_) {
        closePending_ = false;
        QTimer::singleShot(0, this, &QWidget::close);
    }
}

int ShowSlideShow(QStringList& files, const TSlideShowOptions& options) {
    TSlideShowForm form(options.owner, options.reduced, options.rotateMode, options.iniFile);
    form.SetProgressHandler(options.onProgress);
    form.SlideShow->AskOrientation = options.askOrientation;
    form.SlideShow->Optimization = slideshow::ClampPreviewLevel(options.optLevel);
    if (files.isEmpty()) {
        return 2;
    }
    form.SlideShow->SetBackgroundColor(options.background);
    form.SlideShow->SetDelay(slideshow::PreviewDelay(options.delayMs));
    QStringList readable;
    for (const QString& file : files) {
        readable.append(options.readablePath ? options.readablePath(file) : file);
    }
    form.LoadSeries(files, readable);
    if (form.SlideShow->Count() == 0) {
        return 2;
    }
    if (form.exec() != 1) {
        return 2;
    }
    files = form.Names();
    return 1;
}
