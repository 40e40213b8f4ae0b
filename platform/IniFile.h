#pragma once
// The program's settings file. The file is read once when the object is made; reads
// answer from that text, writes change it and are kept as a list of changes until
// UpdateFile (or the destructor) writes them. Writing reads the file again, applies this
// object's changes to what is on disk and replaces the file through a temporary file and
// a rename: another writer's keys in between are not lost, a crash never leaves half a
// file, and what this program does not know (comments, other keys and sections) stays.
// The text rules are those of IniDocument.
//
// A missing file reads as empty: every Read gives its default. A file that exists but
// cannot be read also gives the defaults, and is then never overwritten.
// One object belongs to one thread at a time.

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include "platform/IniDocument.h"

class TIniFile {
  public:
    explicit TIniFile(const QString& fileName);
    // Writes pending changes; a failure is lost here, so callers that care call
    // UpdateFile themselves.
    ~TIniFile();
    TIniFile(const TIniFile&) = delete;
    TIniFile& operator=(const TIniFile&) = delete;

    const QString& FileName() const { return fileName_; }

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    // Decimal with an optional sign, or hexadecimal after "0x" or "$"; anything else, or
    // a number outside int, gives defaultValue.
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    // An integer: 0 is false, anything else true; also "true" and "false" in any case.
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;

    // False, and nothing changes, when the text could not be read back as given (see
    // IniDocument::CanStore). Blanks around a value are not kept (as in every INI reader).
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteInteger(const QString& section, const QString& key, int value);
    bool WriteBool(const QString& section, const QString& key, bool value);  // "1" / "0"

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QStringList ReadSection(const QString& section) const;  // the key names, in file order
    QStringList ReadSections() const;

    void EraseSection(const QString& section);
    void DeleteKey(const QString& section, const QString& key);

    // Writes the pending changes now. True when there was nothing to write or the file was
    // replaced; false otherwise, with the errno in LastError and the changes kept pending.
    bool UpdateFile();
    int LastError() const { return lastError_; }
    // The errno of reading the file when the object was made; 0 when it was read or
    // does not exist.
    int ReadError() const { return readError_; }

  private:
    struct Change {
        enum class Kind { Set, RemoveKey, RemoveSection } kind;
        QString section;
        QString key;
        QString value;
    };

    static void Apply(platform::IniDocument& document, const Change& change);
    void Record(Change change);

    QString fileName_;
    std::string nativePath_;
    platform::IniDocument document_;
    std::vector<Change> pending_;
    int lastError_ = 0;
    int readError_ = 0;
};
