#include "imaging/j6i.h"

#include "platform/checked.h"

using platform::checkedAdd;
using platform::checkedMul;

// The files are opened for reading only, so that pictures on write-protected cards and in
// read-only folders read as well as any other.

int32_t J6IDataOffset(const QString& fileName) {
    platform::InputFile file(fileName);
    file.skip(56);
    const QByteArray b = file.read(4);
    int32_t offset = 0;
    for (const char byte : b)
        offset = checkedAdd(checkedMul(offset, 256), uint8_t(byte));
    return offset;
}

J6IInfo ReadJ6IInfo(const QString& fileName) {
    platform::InputFile file(fileName);
    J6IInfo info;
    file.skip(68);
    file.readInto(info.dateTime.data(), qint64(info.dateTime.size()));
    file.skip(120 - 74);
    file.readInto(&info.orientation, 1);
    return info;
}

namespace {

// BCD bytes are shown as their two hexadecimal digits, which are their decimal digits.
QString joined(const uint8_t* bytes, char separator) {
    return QString::asprintf("%.2x%c%.2x%c%.2x", bytes[0], separator, bytes[1], separator,
                             bytes[2]);
}

} // namespace

QString j6iDateText(const J6IInfo& info) {
    return joined(info.dateTime.data(), '/');
}
QString j6iTimeText(const J6IInfo& info) {
    return joined(info.dateTime.data() + 3, ':');
}
