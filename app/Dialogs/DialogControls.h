#pragma once
// Builders for the controls of the program's fixed-size dialogs: each control is made at
// its design position with its object name, so the dialogs' builder code lists only what
// differs between them.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRect>
#include <QSlider>

class QDialog;

// A label whose size follows its text, its top-left corner at (left, top).
QLabel* AddLabel(QWidget* parent, const QString& text, int left, int top);

// An edit; maxLength 0 leaves the length open.
QLineEdit* AddEdit(QWidget* parent, const QString& name, const QRect& rect, int maxLength = 0);

// A read-only edit inside a disabled panel: shown, never focused or edited.
QLineEdit* AddShownEdit(QWidget* parent, const QString& name, const QRect& rect);

// A horizontal bar of the positions min..max, a tick under each.
QSlider* AddTrackBar(QWidget* parent, const QString& name, const QRect& rect, int min, int max);

QPushButton* AddPushButton(QWidget* parent, const QString& name, const QString& caption,
                           const QRect& rect);

struct TDialogButtons {
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};

// "OK" (the default button) and "Cancel" with the style's icons, both 75 x 25, on one row
// at top; the names are the buttons' object names.
TDialogButtons AddOkCancelButtons(QDialog* dialog, const QString& okName, const QString& cancelName,
                                  int okLeft, int cancelLeft, int top);
