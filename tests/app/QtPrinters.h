#pragma once
// Readable failure output: GoogleTest finds these through argument-dependent lookup and
// prints strings (and lists of them) as text instead of their bytes.

#include <QString>
#include <ostream>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
