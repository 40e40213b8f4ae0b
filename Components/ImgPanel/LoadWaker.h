#pragma once
// Carries the loader thread's wake-up to the UI thread as a posted event.
//
// The loader thread posts to this small object, never to the panel itself: the panel may
// be in its destructor (which joins the thread) while a wake-up is posted, and this
// member object stays whole until the join is over. Events still queued when it is
// destroyed are discarded by Qt.

#include <functional>

#include <QEvent>
#include <QObject>

class LoadWaker : public QObject {
  public:
    // onWake runs on the thread this object lives on (the UI thread).
    explicit LoadWaker(std::function<void()> onWake);

    // Callable from any thread.
    void Post();

  protected:
    void customEvent(QEvent* event) override;

  private:
    static QEvent::Type WakeEventType();

    const std::function<void()> onWake_;
};
