// The settings file: an INI file of [sections] and key=value lines in code page 932.
// A value code page 932 cannot hold exactly (a folder named "café") is stored in UTF-8 instead,
// as the memo files store such names, so that every value written reads back as it was.
//
// Sections and keys compare without regard to case; a key that exists keeps its spelling when
// it is rewritten, and lines the program does not know are kept as they are. Integers read the
// way the program has always read them (a malformed number gives the default), booleans are
// written as 1 and 0. save() replaces the file atomically, so a failed write never destroys the
// settings that were there.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace platform {

// Where the program keeps its settings: the file named by TAZU_INI; else the program's path
// with its extension replaced by ".INI" when that file exists, or when the program's folder is
// writable and the program does not run installed (runsInstalled); else
// $XDG_CONFIG_HOME/tazu/tazu.INI. A program beside the main one that shares its settings names
// the main program (programName "tazu" for the file tazu.INI beside it).
QString settingsFilePath(const QString& programName = {});

// The same rule, TAZU_INI aside, for a program named programName in programFolder.
QString settingsFilePathFor(const QString& programFolder, const QString& programName);

class Profile {
public:
    // Reads the file; a missing or unreadable file reads as empty.
    explicit Profile(const QString& path);

    const QString& path() const { return path_; }

    bool hasKey(const QString& section, const QString& key) const;
    QString readString(const QString& section, const QString& key,
                       const QString& defaultValue) const;
    int readInteger(const QString& section, const QString& key, int defaultValue) const;
    // Any integer other than 0 reads as true; a value that is not an integer gives the default.
    bool readBool(const QString& section, const QString& key, bool defaultValue) const;

    // Every value reads back as it was written: one code page 932 cannot hold is stored in
    // UTF-8, one with blanks at either end or in quotes of its own in quotes. A value with a line
    // break cannot stand on a line: the key keeps what it had.
    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value);

    // Writes the file (CR LF line ends). False when it could not be written; the old file is
    // then left as it was. A file too large to be a settings file is never overwritten.
    bool save() const;

private:
    struct Line {
        QByteArray raw; // as stored on disk, without the line end
        QString text;   // raw decoded
    };

    // Index of the line "[section]", or -1.
    int findSection(const QString& section) const;
    // Index of the key's line within the section that starts at sectionLine, or -1.
    int findKey(int sectionLine, const QString& key) const;
    // The line "key=value"; a value code page 932 cannot hold exactly is stored in UTF-8.
    void setEntry(int index, const QString& key, const QString& value);

    QString path_;
    std::vector<Line> lines_;
    bool writable_ = true;
};

// The integer a settings value means: optional blanks and sign, then decimal digits, or '$' or
// "0x" and hexadecimal digits, fitting in 32 bits. False for anything else.
bool parseProfileInteger(const QString& text, int& value);

} // namespace platform
