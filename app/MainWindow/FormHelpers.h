#pragma once
// Small helpers the main window's handlers share.

#include <QKeyEvent>

#include "platform/SlotGuard.h"

// A slot body run through the slot guard: an exception shows its message and the window
// goes on. The returned callable takes (and ignores) whatever the signal passes.
template <class F>
auto Guarded(F f) {
    return [f](auto&&...) { platform::GuardSlot(f); };
}

// The key with exactly these modifiers (the keypad flag aside).
inline bool IsKey(const QKeyEvent* event, int key,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    return event->key() == key && (event->modifiers() & ~Qt::KeypadModifier) == modifiers;
}

inline bool IsEnter(const QKeyEvent* event) {
    return IsKey(event, Qt::Key_Return) || IsKey(event, Qt::Key_Enter);
}
