#pragma once
// The longest time the UI thread goes without turning its event loop: a 1 ms precise timer
// runs on it, and the longest time between two of its runs is (to the millisecond) the
// longest the UI could not react. Header-only, so that the tests and the benchmarks share
// it without either depending on the other's build.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>

namespace testloop {

class GapMeter {
  public:
    // Measures from now on.
    GapMeter() {
        beat_.setTimerType(Qt::PreciseTimer);
        beat_.setInterval(1);
        QObject::connect(&beat_, &QTimer::timeout, [this] { Beat(); });
        Restart();
    }
    // Forgets the gaps so far and measures anew from now.
    void Restart() {
        longest_ = 0;
        clock_.start();
        beat_.start();
    }
    // The longest gap since the start, the one running now included.
    double Longest() {
        Beat();
        return longest_;
    }
    // Longest(); the timer stops until the next Restart.
    double Stop() {
        const double longest = Longest();
        beat_.stop();
        return longest;
    }

  private:
    void Beat() {
        longest_ = std::max(longest_, clock_.nsecsElapsed() / 1e6);
        clock_.restart();
    }

    QTimer beat_;
    QElapsedTimer clock_;
    double longest_ = 0;
};

}  // namespace testloop
