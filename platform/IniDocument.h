#pragma once
// The text of an INI file as an editable list of lines. Lines that are not touched are
// written back byte for byte as they were read (even when they are not UTF-8), so comments, blank
// lines, spacing and keys or sections this program does not know survive every write.
//
// Reading follows the Windows profile functions: "[Section]" starts a section, "Key=Value"
// is an entry, a line starting with ';' is a comment. The key is the text before the first
// '=', the value everything after it; blanks (spaces and tabs) around both are dropped and
// nothing else is interpreted: no quotes, no escapes, so commas, backslashes and further
// '=' signs stay part of the value. Names are looked up ignoring letter case and keep the
// spelling they were first written with. Entries above the first section belong to no
// section and are only kept. Duplicate sections or keys: the first one counts.

#include <QString>
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class IniDocument {
  public:
    // text is UTF-8; a byte-order mark and each line's end ("\r\n" or "\n") are kept for
    // Serialize, which writes the lines with the ends they had (changed ones too). New lines
    // end like the file's first line, or with "\n"; a last line without an end gets one only
    // when a line follows it.
    static IniDocument Parse(std::string_view text);
    std::string Serialize() const;

    std::optional<QString> Value(const QString& section, const QString& key) const;
    bool HasSection(const QString& section) const;
    QStringList Keys(const QString& section) const;
    QStringList Sections() const;

    // Changes the first entry of that key in place (a value equal to the one it reads as
    // leaves the line as it was), or adds it after the section's last entry, or adds the
    // section at the end. Names and values must pass the checks of CanStore; the caller
    // tests that first.
    void SetValue(const QString& section, const QString& key, const QString& value);
    void RemoveKey(const QString& section, const QString& key);
    // Removes the section's header and every line up to the next section, for every
    // section of that name (and every entry of that key), so that no duplicate comes to
    // light afterwards.
    void RemoveSection(const QString& section);

    // Whether a write can be read back as given: no line breaks anywhere; a section
    // without ']'; a key without '=' that does not start with '[' or ';'; neither empty.
    static bool CanStore(const QString& section, const QString& key, const QString& value);

  private:
    enum class Kind { Other, Section, Entry };
    struct Line {
        Kind kind = Kind::Other;
        std::string raw;  // the line's bytes as read, or as last written, without its end
        std::string end;  // "\r\n", "\n", or nothing for a last line without one
        QString name;     // section or key name, blanks dropped
        QString value;
    };

    static Line ParseLine(std::string_view raw, bool inSection);
    std::optional<size_t> FindSection(const QString& section) const;
    size_t SectionEnd(size_t header) const;
    std::optional<size_t> FindKey(size_t header, const QString& key) const;
    size_t InsertionPoint(size_t header) const;

    Line NewLine(const QString& text, bool inSection) const;

    std::string byteOrderMark_;
    std::string newline_ = "\n";
    std::vector<Line> lines_;
};

}  // namespace platform
