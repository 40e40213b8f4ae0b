#pragma once
// The main window's top-bar commands (help, configuration, about) and the keys the window
// answers wherever the focus is. The window previews every key, asks FormKeyCommand what
// it means in the window's present state, runs that command and still lets the focused
// control have the key. The series list's own reorder keys come from SeriesKeyCommand.
// UI thread only.

#include <QString>
#include <optional>

class QKeyEvent;
class QWidget;
class TConfigForm;

enum class TFormCommand { None, Add, Remove, Preview, Save, SelectAll };

// What the form-wide keys depend on.
struct TFormKeyState {
    bool seriesHasSelection = false;  // Delete removes only a selected picture
    bool previewEnabled = false;      // Alt+P
    bool saveEnabled = false;         // Alt+S
    bool filesHaveItems = false;      // Ctrl+A
};

// Insert: Add; Delete: Remove; Alt+P: Preview; Alt+S: Save; Ctrl+A: Select all; each only
// in the state it needs, None otherwise.
TFormCommand FormKeyCommand(const QKeyEvent& event, const TFormKeyState& state);

enum class TSeriesKeyCommand { None, MoveUp, MoveDown };
// Ctrl+Up and Ctrl+Down in the series list.
TSeriesKeyCommand SeriesKeyCommand(const QKeyEvent& event);

// "Sorry, currently Help is not available", captioned with the program's title.
void ShowHelpUnavailable();

// Runs the about box modally over owner.
void ShowAbout(QWidget* owner);

// What changed in a configuration run that the main window follows.
struct TConfigChanges {
    std::optional<QString> sourceFolder;  // the tree goes to the new default folder
    std::optional<int> quality;           // the window's quality bar takes the new level
};

// Runs the configuration dialog modally; after OK, reports the source folder and the
// quality level that differ from before. Cancel reports nothing.
TConfigChanges RunConfiguration(TConfigForm& config);
