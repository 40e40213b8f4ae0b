#pragma once
// The package-name entries the configuration and saving dialogs share: prefix, first
// number, counter width and suffix, with the width (as zeros) and a sample name shown
// beside them. The dialogs own the controls; this only ties them together. UI thread only.

#include <QLineEdit>
#include <QSlider>
#include <QString>
#include <optional>

// A refused entry: the message to show and the edit to focus.
struct TNameFault {
    QString message;
    QLineEdit* control = nullptr;
};

struct TNameFields {
    QLineEdit* prefix = nullptr;
    QLineEdit* from = nullptr;
    QSlider* digits = nullptr;
    QLineEdit* suffix = nullptr;
    QLineEdit* digitsShown = nullptr;
    QLineEdit* sample = nullptr;

    // The width as that many zeros, then the sample name for it.
    void ShowDigits() const;
    // prefix + padded first number + suffix + extension.
    void ShowSample(const QString& extension = QStringLiteral(".jpg")) const;
    // Runs onChange on context whenever the prefix, first number or suffix text changes
    // (set by the program as well as typed).
    template <class F>
    void OnTextChanged(const QObject* context, F onChange) const {
        for (QLineEdit* edit : {prefix, suffix, from}) {
            QObject::connect(edit, &QLineEdit::textChanged, context, onChange);
        }
    }
    // The first entry that fails, in the order prefix, first number, suffix; empty when
    // every one passes.
    std::optional<TNameFault> FirstFault() const;
};
