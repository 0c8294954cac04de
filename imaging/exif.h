// What a picture file's EXIF data says about how the camera was held and when the picture was
// taken, read with exiv2. Metadata is a help, never a reason to refuse a picture: anything the
// library cannot read, or a value that makes no sense, reads as absent, without a message.
// Kept free of Qt so that the fuzz target builds it on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct ExifDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool operator==(const ExifDateTime&) const = default;
};

struct ExifInfo {
    // 1..8 as EXIF numbers them (1 upright, 3 turned half round, 6 and 8 on the side, the
    // others mirrored); 0 when the file gives none or one outside 1..8.
    int orientation = 0;
    // DateTimeOriginal, else DateTimeDigitized.
    std::optional<ExifDateTime> taken;
};

// The EXIF facts of the file at path (the platform's own bytes for the name): of a JPEG's EXIF
// block, or of a TIFF file's first page. Never throws.
ExifInfo ReadExifInfo(const std::string& path) noexcept;

// The same for a file held in memory.
ExifInfo ReadExifInfo(const uint8_t* data, size_t size) noexcept;

// "YYYY:MM:DD HH:MM:SS" (blanks or NULs after it are allowed) as a real date and time; nothing
// for a blank field, letters, or a month, day or time that does not exist.
std::optional<ExifDateTime> parseExifDateTime(std::string_view text);
