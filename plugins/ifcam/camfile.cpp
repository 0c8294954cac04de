#include "plugins/ifcam/camfile.h"

#include "plugins/spi.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ifcam {
namespace {

constexpr uint8_t kMark[4] = {0x07, 0x20, 0x4D, 0x4D};
constexpr uint16_t kAreaCount = 3;
constexpr size_t kFirstAreaEntry = 6;
constexpr size_t kAreaEntrySize = 16; // id, length, 10 filler bytes
enum AreaId : uint16_t { CommentArea = 1, ThumbnailArea = 2, ImageArea = 3 };

// The image area: scan count and sizes, then the two quantisation tables, then the scans.
constexpr size_t kTableSize = 64;
constexpr size_t kLuminanceTableAt = 8;
constexpr size_t kChrominanceTableAt = kLuminanceTableAt + kTableSize;
constexpr size_t kScansAt = kChrominanceTableAt + kTableSize;

// The standard Huffman tables of baseline JPEG, the ones libjpeg writes unless it is told to
// optimise: the number of codes of each length 1..16, then the symbols in code order.
struct HuffmanTable {
    uint8_t tableClassAndId; // 0x0n DC, 0x1n AC
    std::array<uint8_t, 16> codeCounts;
    std::span<const uint8_t> symbols;
};

constexpr uint8_t kDcSymbols[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

constexpr uint8_t kAcLuminanceSymbols[] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

constexpr uint8_t kAcChrominanceSymbols[] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61,
    0x71, 0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33,
    0x52, 0xf0, 0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18,
    0x19, 0x1a, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44,
    0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63,
    0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97,
    0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4,
    0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca,
    0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7,
    0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

// Luminance uses tables 0, chrominance tables 1, as the components' table numbers below say.
const HuffmanTable kStandardTables[] = {
    {0x00, {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, kDcSymbols},
    {0x10, {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d}, kAcLuminanceSymbols},
    {0x01, {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0}, kDcSymbols},
    {0x11, {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77}, kAcChrominanceSymbols},
};

// The two codings of the image area.
struct Coding {
    uint16_t width;
    uint16_t height;
    uint8_t luminanceSampling; // horizontal factor in the high nibble, vertical in the low one
    bool interleaved;          // one scan of all three components, else one scan each
};
constexpr Coding kNormal = {480, 240, 0x32, false};
constexpr Coding kFine = {640, 480, 0x22, true};

enum Marker : uint8_t {
    StartOfImage = 0xD8,
    EndOfImage = 0xD9,
    QuantisationTable = 0xDB,
    BaselineFrame = 0xC0,
    HuffmanTables = 0xC4,
    StartOfScan = 0xDA
};

uint16_t be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool startsWithJpegStream(const uint8_t* data, size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == StartOfImage && data[2] == 0xFF;
}

// An encoder never writes a divisor of 0; libjpeg would take it and decode garbage.
bool isQuantisationTable(const uint8_t* table) {
    return std::none_of(table, table + kTableSize, [](uint8_t divisor) { return divisor == 0; });
}

class StreamWriter {
public:
    explicit StreamWriter(std::vector<uint8_t>& out) : out_(out) {}

    void marker(uint8_t code) { bytes({0xFF, code}); }
    // A marker with its segment length (payload + the two length bytes).
    void segment(uint8_t code, size_t payloadSize) {
        marker(code);
        u16(uint16_t(payloadSize + 2));
    }
    void u16(uint16_t value) { bytes({uint8_t(value >> 8), uint8_t(value)}); }
    void bytes(std::initializer_list<uint8_t> values) { out_.insert(out_.end(), values); }
    void bytes(std::span<const uint8_t> values) {
        out_.insert(out_.end(), values.begin(), values.end());
    }

private:
    std::vector<uint8_t>& out_;
};

void writeHuffmanTables(StreamWriter& out) {
    for (const HuffmanTable& table : kStandardTables) {
        out.segment(HuffmanTables, 1 + table.codeCounts.size() + table.symbols.size());
        out.bytes({table.tableClassAndId});
        out.bytes(table.codeCounts);
        out.bytes(table.symbols);
    }
}

// One component's entry in a scan header: its id and its DC/AC table numbers.
constexpr uint8_t kComponentTables[3] = {0x00, 0x11, 0x11};

void writeScanHeader(StreamWriter& out, std::span<const uint8_t> componentIds) {
    out.segment(StartOfScan, 1 + 2 * componentIds.size() + 3);
    out.bytes({uint8_t(componentIds.size())});
    for (const uint8_t id : componentIds)
        out.bytes({id, kComponentTables[id - 1]});
    out.bytes({0, 63, 0}); // coefficients 0..63 at full precision: a sequential scan
}

// The stream libjpeg decodes: SOI, the two tables, the frame, the Huffman tables, the scans.
void rebuildStream(const Coding& coding, std::span<const uint8_t> area,
                   std::span<const std::span<const uint8_t>> scans, std::vector<uint8_t>& stream) {
    size_t scanBytes = 0;
    for (const auto& scan : scans)
        scanBytes += scan.size();
    stream.clear();
    stream.reserve(1024 + scanBytes);
    StreamWriter out(stream);
    out.marker(StartOfImage);
    for (const size_t tableId : {0, 1}) {
        out.segment(QuantisationTable, 1 + kTableSize);
        out.bytes({uint8_t(tableId)}); // 8-bit divisors
        out.bytes(area.subspan(tableId == 0 ? kLuminanceTableAt : kChrominanceTableAt, kTableSize));
    }
    out.segment(BaselineFrame, 6 + 3 * 3);
    out.bytes({8});
    out.u16(coding.height);
    out.u16(coding.width);
    out.bytes({3, 1, coding.luminanceSampling, 0, 2, 0x11, 1, 3, 0x11, 1});
    writeHuffmanTables(out);
    constexpr uint8_t kComponentIds[3] = {1, 2, 3};
    if (coding.interleaved) {
        writeScanHeader(out, kComponentIds);
        out.bytes(scans[0]);
    } else {
        for (size_t i = 0; i < scans.size(); ++i) {
            writeScanHeader(out, std::span(kComponentIds).subspan(i, 1));
            out.bytes(scans[i]);
        }
    }
    out.marker(EndOfImage);
}

int32_t readImageArea(std::span<const uint8_t> area, std::vector<uint8_t>& stream) {
    if (area.size() < kScansAt)
        return SPI_BROKEN_DATA;
    const uint16_t scanCount = be16(area.data());
    uint32_t scanSizes[3] = {};
    const Coding* coding = nullptr;
    if (scanCount == 3) {
        coding = &kNormal;
        for (size_t i = 0; i < 3; ++i)
            scanSizes[i] = be16(area.data() + 2 + 2 * i);
    } else if (scanCount == 1) {
        coding = &kFine;
        scanSizes[0] = be32(area.data() + 4);
    } else {
        return SPI_BROKEN_DATA;
    }
    if (!isQuantisationTable(area.data() + kLuminanceTableAt) ||
        !isQuantisationTable(area.data() + kChrominanceTableAt))
        return SPI_BROKEN_DATA;

    std::span<const uint8_t> scans[3];
    size_t at = kScansAt;
    for (size_t i = 0; i < scanCount; ++i) {
        if (scanSizes[i] == 0 || scanSizes[i] > area.size() - at)
            return SPI_BROKEN_DATA;
        scans[i] = area.subspan(at, scanSizes[i]);
        at += scanSizes[i];
    }
    rebuildStream(*coding, area, std::span(scans, scanCount), stream);
    return SPI_SUCCESS;
}

} // namespace

bool hasCamMark(const uint8_t* data, size_t size) {
    return data && size >= sizeof kMark && std::memcmp(data, kMark, sizeof kMark) == 0;
}

int32_t readCamFile(const uint8_t* data, size_t size, CamContents& contents) {
    contents = {};
    if (!hasCamMark(data, size))
        return SPI_UNKNOWN_FORMAT;
    if (size < kHeaderSize)
        return SPI_BROKEN_DATA;
    if (startsWithJpegStream(data + kHeaderSize, size - kHeaderSize)) {
        contents.jfif = std::span(data + kHeaderSize, size - kHeaderSize);
        return SPI_SUCCESS;
    }
    if (be16(data + 4) != kAreaCount)
        return SPI_BROKEN_DATA;

    std::span<const uint8_t> areas[kAreaCount];
    size_t at = kHeaderSize;
    for (uint16_t i = 0; i < kAreaCount; ++i) {
        const uint8_t* entry = data + kFirstAreaEntry + i * kAreaEntrySize;
        const uint32_t length = be32(entry + 2);
        if (be16(entry) != CommentArea + i || length > size - at)
            return SPI_BROKEN_DATA;
        areas[i] = std::span(data + at, length);
        at += length;
    }
    const std::span<const uint8_t> comment = areas[CommentArea - 1];
    const auto commentEnd = std::find(comment.begin(), comment.end(), uint8_t(0));
    contents.comment.assign(comment.begin(),
                            comment.begin() +
                                std::min(size_t(commentEnd - comment.begin()), kMaxCommentBytes));
    return readImageArea(areas[ImageArea - 1], contents.rebuilt);
}

} // namespace ifcam
