#include "app/Series/NameRules.h"

#include <cmath>

bool IsValidNameText(const QString& text) {
    static const QString forbidden = QStringLiteral(":;<=>?@[\\]^{}#&*+/|`");
    for (QChar c : text) {
        if (forbidden.contains(c)) {
            return false;
        }
    }
    return true;
}

std::optional<int> ParseInteger(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? std::optional<int>(value) : std::nullopt;
}

QString PadCounter(const QString& number, int digits) {
    return number.size() >= digits ? number : QString(digits - number.size(), u'0') + number;
}

QString PadCounter(long long number, int digits) {
    return PadCounter(QString::number(number), digits);
}

QString SampleName(const QString& prefix, const QString& firstNumber, int digits,
                   const QString& suffix, const QString& extension) {
    return prefix + PadCounter(firstNumber, digits) + suffix + extension;
}

QString SpeedPercentText(int position) {
    const double percent = position * 0.001 * 100;
    return QString::number(static_cast<long long>(std::llround(percent))) + u'%';
}

int DefaultOptimization(std::uint64_t physicalBytes) {
    constexpr std::uint64_t k16MiB = 0x1000000;
    constexpr std::uint64_t k32MiB = 0x2000000;
    if (physicalBytes <= k16MiB) {
        return 0;
    }
    return physicalBytes <= k32MiB ? 1 : 2;
}
