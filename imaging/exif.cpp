#include "imaging/exif.h"

// exiv2 0.27 hands its images out in std::auto_ptr, which the C++ library deprecates.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

#include <cctype>
#include <climits>

namespace {

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int Days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : Days[month - 1];
}

// The number of the digits at text[at .. at + count), or -1 when any is not a digit.
int digits(std::string_view text, size_t at, size_t count) {
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

int orientationOf(const Exiv2::ExifData& exif) {
    const auto found = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (found == exif.end() || found->count() < 1)
        return 0;
    const long value = found->toLong(0);
    return value >= 1 && value <= 8 ? int(value) : 0;
}

std::optional<ExifDateTime> dateOf(const Exiv2::ExifData& exif, const char* key) {
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    if (found == exif.end())
        return std::nullopt;
    return parseExifDateTime(found->toString());
}

ExifInfo infoOf(Exiv2::Image& image) {
    image.readMetadata();
    const Exiv2::ExifData& exif = image.exifData();
    ExifInfo info;
    info.orientation = orientationOf(exif);
    info.taken = dateOf(exif, "Exif.Photo.DateTimeOriginal");
    if (!info.taken)
        info.taken = dateOf(exif, "Exif.Photo.DateTimeDigitized");
    return info;
}

// The library reports what it finds odd on standard error; a picture viewer has no use for that.
// HEIF files (ISO base media file format) are read only once it is told to.
void setUpLibrary() {
    static const bool done = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::enableBMFF(true);
        return true;
    }();
    (void)done;
}

template <typename Open> ExifInfo readWith(Open open) noexcept {
    try {
        setUpLibrary();
        Exiv2::Image::AutoPtr image = open();
        if (image.get() == nullptr)
            return {};
        const ExifInfo info = infoOf(*image);
        // Reading a file's XMP packet registers the namespaces it brings in a table the library
        // never frees; nothing here needs them afterwards.
        Exiv2::XmpProperties::unregisterNs();
        return info;
    } catch (...) {
        // Exiv2::AnyError for what it cannot read, std::bad_alloc for what it cannot hold,
        // and whatever else: no EXIF.
        return {};
    }
}

} // namespace

std::optional<ExifDateTime> parseExifDateTime(std::string_view text) {
    while (!text.empty() && (text.back() == '\0' || text.back() == ' '))
        text.remove_suffix(1);
    if (text.size() != 19 || text[4] != ':' || text[7] != ':' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const ExifDateTime t{digits(text, 0, 4),  digits(text, 5, 2),  digits(text, 8, 2),
                         digits(text, 11, 2), digits(text, 14, 2), digits(text, 17, 2)};
    if (t.year < 1 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > daysInMonth(t.year, t.month) || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
        t.minute > 59 || t.second < 0 || t.second > 59)
        return std::nullopt;
    return t;
}

ExifInfo ReadExifInfo(const std::string& path) noexcept {
    // A name the library could take for an address on the network is made a plain file's.
    const std::string file = path.empty() || path[0] == '/' ? path : "./" + path;
    return readWith([&file] { return Exiv2::ImageFactory::open(file, false); });
}

ExifInfo ReadExifInfo(const uint8_t* data, size_t size) noexcept {
    if (data == nullptr || size == 0 || size > size_t(LONG_MAX))
        return {};
    return readWith([=] { return Exiv2::ImageFactory::open(data, long(size)); });
}

#pragma GCC diagnostic pop
