#pragma once
// The modal preview window: hosts one slideshow control, plays the series, lets the user
// turn and reorder it, and hands a changed order back. It remembers its geometry in the
// settings file's [SlideShow] section and relays loading progress to its caller.
// Created for one ShowSlideShow call. UI thread only.

#include <QDialog>
#include <QStringList>
#include <functional>

#include "app/SlideShow/SlideShowTypes.h"

class QPushButton;
class TSlideShow;

class TSlideShowForm : public QDialog {
    Q_OBJECT
  public:
    // iniFile: the program's settings file; empty keeps no geometry.
    TSlideShowForm(QWidget* owner, bool reduced, int rotateMode, const QString& iniFile);
    ~TSlideShowForm() override;

    void SetProgressHandler(TSlideShowProgressEvent handler) {
        progressHandler_ = std::move(handler);
    }
    // Loads the series: files are read through readable (same length, same order).
    void LoadSeries(const QStringList& files, const QStringList& readable);
    // The series in the order last shown, as the paths given to LoadSeries.
    const QStringList& Names() const { return names_; }

    TSlideShow* SlideShow = nullptr;
    QPushButton* OkButton = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  public slots:
    void reject() override;  // Escape and the Close button ask like the window's close box

  private:
    void FormCreate();
    void ApplyPlacement();
    void FormClose();
    void RelayProgress(QObject* sender, unsigned char stage, unsigned char percent,
                       const QString& message, bool& cancel);
    void CloseWhenIdle();

    const bool reduced_;
    const QString iniFile_;
    TSlideShowProgressEvent progressHandler_;
    QStringList series_;  // the paths as given, in load order
    QStringList names_;   // the paths in the order shown
    bool closePending_ = false;
};

struct TSlideShowOptions {
    QColor background{0xFF, 0xFF, 0xFF};
    int delayMs = 250;
    int optLevel = 1;
    int rotateMode = kRotateAsk;
    bool reduced = false;
    TSlideShowProgressEvent onProgress;
    TOrientQuestion askOrientation;
    // The path a series picture is read through (a temporary copy); unset reads the path.
    std::function<QString(const QString&)> readablePath;
    QString iniFile;
    QWidget* owner = nullptr;
};

// Previews files as a rotating series. Returns 1 when the user applied a new order (files
// then holds the same paths in that order, possibly fewer) and 2 otherwise (files unchanged).
int ShowSlideShow(QStringList& files, const TSlideShowOptions& options);
