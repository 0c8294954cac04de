#include "tests/support/exifmaker.h"

#include <QtEndian>

#include <vector>

namespace testsupport {

namespace {

struct Entry {
    uint16_t tag;
    uint16_t type; // 2 ASCII, 3 SHORT, 4 LONG
    QByteArray data;
    uint32_t value = 0; // SHORT and LONG
};

void put16(QByteArray& out, uint16_t v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}
void put32(QByteArray& out, uint32_t v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

// A directory at offset (from the TIFF header) with its data after it; returns both.
QByteArray directory(const std::vector<Entry>& entries, uint32_t offset) {
    const uint32_t dataStart = offset + 2 + 12 * uint32_t(entries.size()) + 4;
    QByteArray ifd;
    QByteArray data;
    put16(ifd, uint16_t(entries.size()));
    for (const Entry& e : entries) {
        put16(ifd, e.tag);
        put16(ifd, e.type);
        if (e.type == 2) {
            put32(ifd, uint32_t(e.data.size()));
            if (e.data.size() <= 4) {
                ifd.append(e.data.leftJustified(4, '\0'));
            } else {
                put32(ifd, dataStart + uint32_t(data.size()));
                data.append(e.data);
            }
        } else if (e.type == 3) {
            put32(ifd, 1);
            put16(ifd, uint16_t(e.value));
            put16(ifd, 0);
        } else {
            put32(ifd, 1);
            put32(ifd, e.value);
        }
    }
    put32(ifd, 0); // no next directory
    return ifd + data;
}

} // namespace

QByteArray makeExifBlock(const ExifFields& fields) {
    std::vector<Entry> exifEntries;
    for (const auto& [tag, text] : {std::pair{uint16_t(0x9003), fields.dateTimeOriginal},
                                    {uint16_t(0x9004), fields.dateTimeDigitized}})
        if (!text.isEmpty())
            exifEntries.push_back({tag, 2, text + '\0'});

    std::vector<Entry> first;
    if (fields.orientation)
        first.push_back({0x0112, 3, {}, *fields.orientation});
    const uint32_t firstOffset = 8;
    const uint32_t firstSize = 2 + 12 * uint32_t(first.size() + (exifEntries.empty() ? 0 : 1)) + 4;
    if (!exifEntries.empty())
        first.push_back({0x8769, 4, {}, firstOffset + firstSize});

    QByteArray tiff("II*\0", 4);
    put32(tiff, firstOffset);
    tiff += directory(first, firstOffset);
    if (!exifEntries.empty())
        tiff += directory(exifEntries, uint32_t(tiff.size()));
    return QByteArray("Exif\0\0", 6) + tiff;
}

QByteArray withExif(const QByteArray& jpeg, const QByteArray& block) {
    QByteArray segment("\xFF\xE1", 2);
    char length[2];
    qToBigEndian(uint16_t(block.size() + 2), length);
    segment.append(length, 2);
    segment += block;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

} // namespace testsupport
