#include "platform/DateTimeFormat.h"

#include <mutex>
#include <optional>

namespace platform {

namespace {

std::mutex& OverrideMutex() {
    static std::mutex mutex;
    return mutex;
}

std::optional<QLocale>& OverrideLocale() {
    static std::optional<QLocale> locale;
    return locale;
}

// Copies a quoted literal ('...', with '' standing for one quote) starting at index.
qsizetype CopyQuoted(const QString& format, qsizetype index, QString& out) {
    out += format[index++];
    while (index < format.size()) {
        const QChar c = format[index++];
        out += c;
        if (c == u'\'') {
            break;
        }
    }
    return index;
}

QString CollapseBlanks(const QString& text) {
    QString result;
    for (const QChar c : text) {
        if (c == u' ' && (result.isEmpty() || result.endsWith(u' '))) {
            continue;
        }
        result += c;
    }
    return result.trimmed();
}

}  // namespace

QLocale DisplayLocale() {
    std::lock_guard lock(OverrideMutex());
    return OverrideLocale().value_or(QLocale::system());
}

ScopedDisplayLocale::ScopedDisplayLocale(const QLocale& locale) {
    std::lock_guard lock(OverrideMutex());
    hadPrevious_ = OverrideLocale().has_value();
    if (hadPrevious_) {
        previous_ = *OverrideLocale();
    }
    OverrideLocale() = locale;
}

ScopedDisplayLocale::~ScopedDisplayLocale() {
    std::lock_guard lock(OverrideMutex());
    if (hadPrevious_) {
        OverrideLocale() = previous_;
    } else {
        OverrideLocale().reset();
    }
}

QString TimeFormatWithoutZone(const QLocale& locale) {
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    qsizetype index = 0;
    while (index < format.size()) {
        if (format[index] == u'\'') {
            index = CopyQuoted(format, index, result);
        } else if (format[index] == u't') {
            ++index;  // time zone
        } else {
            result += format[index++];
        }
    }
    return CollapseBlanks(result);
}

QString ShortDateText(const QDate& date) {
    const QLocale locale = DisplayLocale();
    return locale.toString(date, locale.dateFormat(QLocale::ShortFormat));
}

QString TimeText(const QTime& time) {
    const QLocale locale = DisplayLocale();
    return locale.toString(time, TimeFormatWithoutZone(locale));
}

QString DateTimeText(const QDateTime& dateTime) {
    return ShortDateText(dateTime.date()) + u' ' + TimeText(dateTime.time());
}

}  // namespace platform
