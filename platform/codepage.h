// Code page 932 (Windows Shift JIS), the byte encoding of the settings file and the memo files.
// Lengths that the program limits (a memo of 40 bytes) are counted in these bytes.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Characters that code page 932 cannot hold become '?'.
QByteArray toCp932(const QString& text);
// Byte sequences that are not valid code page 932 become U+FFFD.
QString fromCp932(const QByteArray& bytes);

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
