// Code page 932 (Windows Shift JIS), the byte encoding of the settings file and the memo files.
// Lengths that the program limits (a memo of 40 bytes) are counted in these bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace platform {

// Characters that code page 932 cannot hold become '?'.
QByteArray toCp932(const QString& text);
// Byte sequences that are not valid code page 932 become U+FFFD.
QString fromCp932(const QByteArray& bytes);

// Text the program keeps in files that other programs read too (names in the memo file, values
// in the settings file): code page 932 when it holds the text exactly, else UTF-8. A name only a
// Linux file system can have ("café", or "旅行〜2024" whose U+301C code page 932 gives back as
// a look-alike) thus survives, and stays readable for other programs.
QByteArray toCp932OrUtf8(const QString& text);
// What such bytes can stand for, the likelier first: the UTF-8 reading when the bytes are UTF-8
// of a text code page 932 cannot hold (what toCp932OrUtf8 writes for it) or are not code page
// 932 at all, else the code page 932 reading; then the other reading when it is valid UTF-8 and
// differs. Callers that can tell which one they meet (a file name in a folder) try each.
QStringList cp932OrUtf8Readings(const QByteArray& bytes);

// True when byte b starts a double-byte character.
constexpr bool isCp932LeadByte(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// How many characters of text code page 932 cannot hold.
int cp932MissingCharacters(const QString& text);

// Length of text in code page 932 bytes.
int cp932Length(const QString& text);

// The longest start of bytes that is at most maxBytes long and does not end inside a
// double-byte character.
QByteArray cutCp932(const QByteArray& bytes, int maxBytes);
// The same cut applied to text, measured in code page 932 bytes.
QString cutToCp932Bytes(const QString& text, int maxBytes);

} // namespace platform
