#include "platform/shell/NameOrder.h"

#include <QChar>

#include <cstddef>

namespace platform {
namespace {

// Reads one code point of UTF-8. A byte that does not start a valid sequence stands for
// itself (mapped into a private range), so any byte string still has a stable order.
char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || pos + length > text.size()) {
        ++pos;
        return 0xDC00 + lead;
    }
    char32_t value = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            ++pos;
            return 0xDC00 + lead;
        }
        value = (value << 6) | (next & 0x3F);
    }
    pos += length;
    return value;
}

char32_t Folded(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
    return QChar::toCaseFolded(c);
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view DigitRun(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < text.size() && IsDigit(text[pos]))
        ++pos;
    return text.substr(start, pos - start);
}

// Compares two digit runs by value, whatever their length and leading zeros.
int CompareNumbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a.front() == '0')
        a.remove_prefix(1);
    while (b.size() > 1 && b.front() == '0')
        b.remove_prefix(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int CompareNatural(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        // Plain ASCII letters and signs, most of most names, compare here without decoding;
        // the steps below give the same answer for them, only slower.
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[j]);
        if (x < 0x80 && y < 0x80 && !IsDigit(static_cast<char>(x)) &&
            !IsDigit(static_cast<char>(y))) {
            const char32_t fx = Folded(x);
            const char32_t fy = Folded(y);
            if (fx != fy)
                return fx < fy ? -1 : 1;
            ++i;
            ++j;
            continue;
        }
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            const int c = CompareNumbers(DigitRun(a, i), DigitRun(b, j));
            if (c != 0)
                return c;
            continue;
        }
        const char32_t ca = Folded(NextCodePoint(a, i));
        const char32_t cb = Folded(NextCodePoint(b, j));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
    const int natural = CompareNatural(a, b);
    if (natural != 0)
        return natural;
    const int bytes = a.compare(b);
    return bytes < 0 ? -1 : (bytes > 0 ? 1 : 0);
}

bool AppendNaturalSortKey(std::string_view name, std::string& key) {
    // A character compares as its folded byte. A digit run compares with a character as
    // its first digit would, which is as any byte from '0' to '9' does, since the
    // character is no digit; so the run is written as '0', then its length without leading
    // zeros, then those digits: two runs meet at their marks and compare by value.
    std::size_t pos = 0;
    while (pos < name.size()) {
        const auto c = static_cast<unsigned char>(name[pos]);
        if (c >= 0x80)
            return false;
        if (!IsDigit(static_cast<char>(c))) {
            key.push_back(static_cast<char>(Folded(c)));
            ++pos;
            continue;
        }
        std::string_view run = DigitRun(name, pos);
        while (run.size() > 1 && run.front() == '0')
            run.remove_prefix(1);
        if (run.size() > 255)
            return false;
        key.push_back('0');
        key.push_back(static_cast<char>(run.size()));
        key.append(run);
    }
    return true;
}

int CompareOrderKeys(const ItemOrderKey& a, const ItemOrderKey& b) {
    if (a.rank != b.rank)
        return a.rank < b.rank ? -1 : 1;
    if (a.folder != b.folder)
        return a.folder ? -1 : 1;
    return CompareNames(a.name, b.name);
}

}  // namespace platform
