#pragma once
// Small rules shared by the configuration and saving dialogs and the main window: which
// characters a package name may hold, how the counter is padded, the sample name, the
// play speed as a percentage and the default quality for the installed memory.

#include <QString>
#include <cstdint>
#include <optional>

// True when text holds none of : ; < = > ? @ [ \ ] ^ { } # & * + / | or the grave accent.
// An empty text is valid.
bool IsValidNameText(const QString& text);

// The whole text as a decimal integer (blanks around it and a sign allowed), else empty.
std::optional<int> ParseInteger(const QString& text);

// number left-padded with "0" to digits characters; a longer number is never cut.
QString PadCounter(const QString& number, int digits);
QString PadCounter(long long number, int digits);

// prefix + padded first number + suffix + extension.
QString SampleName(const QString& prefix, const QString& firstNumber, int digits,
                   const QString& suffix, const QString& extension = QStringLiteral(".jpg"));

// "25%" for a play speed of 250 (position x 0.001 x 100, rounded).
QString SpeedPercentText(int position);

// The default quality for the installed memory: 16 MiB or less 0, up to 32 MiB 1, more 2.
int DefaultOptimization(std::uint64_t physicalBytes);
