#pragma once
// The one place where dates and times become text. Every caller (time-stamped folder
// names, labels) goes through here so that they all follow the same locale: the system
// locale's short date format, and its time format with seconds but without a time zone
// (a zone name in a folder name helps nobody, and two saves a few seconds apart must not
// get the same stamp).

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTime>

namespace platform {

// QLocale::system(), or the locale a ScopedDisplayLocale put in its place.
QLocale DisplayLocale();

// Puts another locale in the system locale's place for its lifetime, so that tests get
// the same text on every machine. Thread-safe; scopes nest.
class ScopedDisplayLocale {
  public:
    explicit ScopedDisplayLocale(const QLocale& locale);
    ~ScopedDisplayLocale();
    ScopedDisplayLocale(const ScopedDisplayLocale&) = delete;
    ScopedDisplayLocale& operator=(const ScopedDisplayLocale&) = delete;

  private:
    bool hadPrevious_;
    QLocale previous_;
};

QString ShortDateText(const QDate& date);
QString TimeText(const QTime& time);
// ShortDateText, a blank, TimeText.
QString DateTimeText(const QDateTime& dateTime);

// The locale's long time format with its time-zone fields removed; exposed for tests.
QString TimeFormatWithoutZone(const QLocale& locale);

}  // namespace platform
