// The few header fields of a J6I camera file that the program reads itself: where the JPEG
// stream starts, when the picture was taken, and how the camera was held.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

// The JPEG stream's offset from the start of the file (big-endian at byte 56). Throws IoError
// for a file that cannot be read or is shorter than 60 bytes, OverflowError for an offset of
// 2^31 or more.
int32_t J6IDataOffset(const QString& fileName);

struct J6IInfo {
    std::array<uint8_t, 6> dateTime{}; // BCD: three date bytes, then hour, minute, second
    uint8_t orientation = 0;           // 1: shown turned clockwise, 3: counter-clockwise
};

// The date and time bytes (68..73) and the orientation byte (120). Throws IoError for a file
// that cannot be read or is shorter than 121 bytes.
J6IInfo ReadJ6IInfo(const QString& fileName);

// The date bytes as two-digit numbers joined by "/" ("96/12/01"), the time bytes by ":".
QString j6iDateText(const J6IInfo& info);
QString j6iTimeText(const J6IInfo& info);
