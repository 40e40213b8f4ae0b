#pragma once
// The start-up picture. ShowSplash puts it up and notes when it appeared; HideSplash keeps
// it up until a minimum time has passed since then, running a local event loop meanwhile
// so that the window keeps painting, and then destroys it. The entry calls both before
// any other window exists. UI thread only.

#include <QElapsedTimer>
#include <QLabel>
#include <QWidget>

class TFRMSplash : public QWidget {
    Q_OBJECT
  public:
    TFRMSplash();

    // Milliseconds since ShowSplash showed the window.
    qint64 ShownFor() const { return shown_.elapsed(); }
    void MarkShown() { shown_.start(); }

  private:
    void FormCreate();

    QLabel* Image = nullptr;
    QElapsedTimer shown_;
};

void ShowSplash();
void HideSplash(int minimumMs);
// The splash window while one exists (for tests), else null.
TFRMSplash* CurrentSplash();
