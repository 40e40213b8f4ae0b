#include "platform/IniDocument.h"

#include <utility>

namespace platform {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QString TrimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.mid(begin, end - begin).toString();
}

bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool HasLineBreak(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r');
}

// Each line with its end: "\r\n", "\n", or nothing for a last line without one.
std::vector<std::pair<std::string_view, std::string_view>> SplitLines(std::string_view text) {
    std::vector<std::pair<std::string_view, std::string_view>> lines;
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        const size_t next = newline == std::string_view::npos ? text.size() : newline + 1;
        size_t length = newline == std::string_view::npos ? text.size() : newline;
        if (newline != std::string_view::npos && length > 0 && text[length - 1] == '\r') {
            --length;
        }
        lines.emplace_back(text.substr(0, length), text.substr(length, next - length));
        text.remove_prefix(next);
    }
    return lines;
}

}  // namespace

IniDocument::Line IniDocument::ParseLine(std::string_view raw, bool inSection) {
    Line line;
    line.raw = std::string(raw);
    const QString trimmed =
        TrimBlanks(QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size())));
    if (trimmed.startsWith(u'[')) {
        const qsizetype close = trimmed.indexOf(u']');
        line.kind = Kind::Section;
        line.name = TrimBlanks(QStringView(trimmed).mid(1, close < 0 ? -1 : close - 1));
        return line;
    }
    const qsizetype equals = trimmed.indexOf(u'=');
    if (!inSection || trimmed.startsWith(u';') || equals < 0) {
        return line;
    }
    line.kind = Kind::Entry;
    line.name = TrimBlanks(QStringView(trimmed).left(equals));
    line.value = TrimBlanks(QStringView(trimmed).mid(equals + 1));
    return line;
}

IniDocument IniDocument::Parse(std::string_view text) {
    IniDocument document;
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        document.byteOrderMark_ = kByteOrderMark;
        text.remove_prefix(kByteOrderMark.size());
    }
    bool inSection = false;
    for (const auto& [raw, end] : SplitLines(text)) {
        Line line = ParseLine(raw, inSection);
        line.end = std::string(end);
        if (document.lines_.empty() && !end.empty()) {
            document.newline_ = line.end;
        }
        inSection = inSection || line.kind == Kind::Section;
        document.lines_.push_back(std::move(line));
    }
    return document;
}

std::string IniDocument::Serialize() const {
    std::string text = byteOrderMark_;
    for (size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i].raw;
        const bool last = i + 1 == lines_.size();
        text += lines_[i].end.empty() && !last ? newline_ : lines_[i].end;
    }
    return text;
}

IniDocument::Line IniDocument::NewLine(const QString& text, bool inSection) const {
    Line line = ParseLine(text.toStdString(), inSection);
    line.end = newline_;
    return line;
}

std::optional<size_t> IniDocument::FindSection(const QString& section) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Section && SameName(lines_[i].name, section)) {
            return i;
        }
    }
    return std::nullopt;
}

size_t IniDocument::SectionEnd(size_t header) const {
    size_t end = header + 1;
    while (end < lines_.size() && lines_[end].kind != Kind::Section) {
        ++end;
    }
    return end;
}

std::optional<size_t> IniDocument::FindKey(size_t header, const QString& key) const {
    for (size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
        if (lines_[i].kind == Kind::Entry && SameName(lines_[i].name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

// Just after the section's last entry, so that blank lines and comments that separate it
// from the next section stay below the new entry.
size_t IniDocument::InsertionPoint(size_t header) const {
    size_t point = header + 1;
    for (size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
        if (lines_[i].kind == Kind::Entry) {
            point = i + 1;
        }
    }
    return point;
}

std::optional<QString> IniDocument::Value(const QString& section, const QString& key) const {
    const auto header = FindSection(TrimBlanks(section));
    if (!header) {
        return std::nullopt;
    }
    const auto entry = FindKey(*header, TrimBlanks(key));
    if (!entry) {
        return std::nullopt;
    }
    return lines_[*entry].value;
}

bool IniDocument::HasSection(const QString& section) const {
    return FindSection(TrimBlanks(section)).has_value();
}

QStringList IniDocument::Keys(const QString& section) const {
    QStringList keys;
    if (const auto header = FindSection(TrimBlanks(section))) {
        for (size_t i = *header + 1, end = SectionEnd(*header); i < end; ++i) {
            if (lines_[i].kind == Kind::Entry) {
                keys.append(lines_[i].name);
            }
        }
    }
    return keys;
}

QStringList IniDocument::Sections() const {
    QStringList sections;
    for (const Line& line : lines_) {
        if (line.kind == Kind::Section) {
            sections.append(line.name);
        }
    }
    return sections;
}

void IniDocument::SetValue(const QString& section, const QString& key, const QString& value) {
    const QString sectionName = TrimBlanks(section);
    const QString keyName = TrimBlanks(key);
    auto header = FindSection(sectionName);
    if (!header) {
        if (!lines_.empty() && lines_.back().raw.find_first_not_of(" \t") != std::string::npos) {
            lines_.push_back(NewLine(QString(), false));
        }
        lines_.push_back(NewLine(u'[' + sectionName + u']', true));
        header = lines_.size() - 1;
    }
    if (const auto entry = FindKey(*header, keyName)) {
        Line& line = lines_[*entry];
        // The same text again (the settings are written back at every start): the line
        // keeps its bytes, which may be no UTF-8 (a folder named in another encoding reads
        // with replacement characters) and would otherwise be lost.
        if (line.value == TrimBlanks(value)) {
            return;
        }
        line.raw = (line.name + u'=' + value).toStdString();
        line.value = TrimBlanks(value);
        return;
    }
    const auto at = static_cast<std::ptrdiff_t>(InsertionPoint(*header));
    lines_.insert(lines_.begin() + at, NewLine(keyName + u'=' + value, true));
}

// Duplicates go too: otherwise the next one would come to light in the removed one's place.
void IniDocument::RemoveKey(const QString& section, const QString& key) {
    const auto header = FindSection(TrimBlanks(section));
    if (!header) {
        return;
    }
    while (const auto entry = FindKey(*header, TrimBlanks(key))) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*entry));
    }
}

void IniDocument::RemoveSection(const QString& section) {
    while (const auto header = FindSection(TrimBlanks(section))) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*header),
                     lines_.begin() + static_cast<std::ptrdiff_t>(SectionEnd(*header)));
    }
}

bool IniDocument::CanStore(const QString& section, const QString& key, const QString& value) {
    const QString sectionName = TrimBlanks(section);
    const QString keyName = TrimBlanks(key);
    if (sectionName.isEmpty() || keyName.isEmpty()) {
        return false;
    }
    if (HasLineBreak(sectionName) || HasLineBreak(keyName) || HasLineBreak(value)) {
        return false;
    }
    return !sectionName.contains(u']') && !keyName.contains(u'=') && !keyName.startsWith(u'[') &&
           !keyName.startsWith(u';');
}

}  // namespace platform
