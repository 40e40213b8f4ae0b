#pragma once
// Keeps the save's file-system work off the UI thread: a source on a slow or gone medium
// (a network share, a disc being ejected) may keep a system call waiting for a long
// time, and the window must not freeze meanwhile.

#include <functional>

// Runs work on a thread of its own and returns once it is done. Meanwhile the calling
// thread handles every event but user input, so windows repaint and the progress box
// stays live, while nothing the user does can start in the middle of the save; tick, when
// given, runs there every kTickMilliseconds. work must not touch a widget. Without an
// application object, or off its thread, work runs in place. An exception from work is
// thrown again here.
void RunOffUiThread(const std::function<void()>& work, const std::function<void()>& tick = {});

inline constexpr int kTickMilliseconds = 100;
