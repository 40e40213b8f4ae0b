#include "app/Saving/SaveCommand.h"

#include <QCoreApplication>
#include <QDateTime>

#include "app/Dialogs/ProgressForm.h"
#include "app/Saving/SaveWorker.h"
#include "app/Saving/SavingForm.h"
#include "platform/Paths.h"

namespace {

// Paints the box now. A window just shown is drawn only once the window system has
// mapped it, so the events that do that are let through; input is held back, so the user
// cannot start anything in the middle of the save.
void ShowProgressNow(TProgressForm* form) {
    form->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace

TSaveProgress ProgressOn(TProgressForm* form) {
    if (!form) {
        return {};
    }
    TSaveProgress progress;
    progress.show = [form] {
        form->ProgressBar->setValue(0);
        form->ShowCentred();
        ShowProgressNow(form);
    };
    progress.label = [form](const QString& text) {
        form->ProgressLabel->setText(text);
        ShowProgressNow(form);
    };
    progress.position = [form](int percent) {
        form->ProgressBar->setValue(percent);
        ShowProgressNow(form);
    };
    progress.hide = [form] { form->hide(); };
    progress.restore = [form] {
        form->ShowCentred();
        ShowProgressNow(form);
    };
    return progress;
}

bool SaveSeriesAsPackage(const QStringList& series, TSavingForm& dialog, TSaveServices services) {
    if (series.isEmpty()) {
        return false;
    }
    dialog.AddPath->setText(TimeStampPath(QDateTime::currentDateTime()));
    dialog.PictureCount = static_cast<int>(series.size());
    dialog.LongestExtension = LongestExtension(series);
    dialog.PictureExtensions.clear();
    for (const QString& path : series) {
        dialog.PictureExtensions.append(platform::ExtensionPart(path));
    }
    if (dialog.exec() != 1) {
        return false;
    }
    if (!services.offload) {
        services.offload = RunOffUiThread;
    }
    SavePackage(series, dialog.Entries(), std::move(services));
    return true;
}
