#include "platform/codepage.h"

#include <QStringDecoder>

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace platform {

namespace {

// One conversion through glibc's "CP932" module, which (unlike "SHIFT_JIS") covers the NEC and
// IBM extensions such as ① and maps 0x8160 to the full-width tilde.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("iconv cannot convert between CP932 and UTF-16LE");
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts one unit (a character or a byte sequence); false when the input is not valid.
    bool convert(const char* in, size_t inLength, QByteArray& out) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char buffer[16];
        char* inPtr = const_cast<char*>(in);
        char* outPtr = buffer;
        size_t inLeft = inLength;
        size_t outLeft = sizeof buffer;
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1) || inLeft != 0)
            return false;
        out.append(buffer, int(sizeof buffer - outLeft));
        return true;
    }

private:
    iconv_t cd_;
};

Converter& encoder() {
    thread_local Converter c("CP932", "UTF-16LE");
    return c;
}

Converter& decoder() {
    thread_local Converter c("UTF-16LE", "CP932");
    return c;
}

} // namespace

namespace {

// Appends the code page 932 form of the character that starts at text[i] ('?' when there is
// none, and then missing is counted up) and returns how many UTF-16 units it took.
qsizetype appendCp932(const QString& text, qsizetype i, QByteArray& out, int* missing = nullptr) {
    const QChar c = text.at(i);
    if (c.unicode() < 0x80) {
        out.append(char(c.unicode()));
        return 1;
    }
    qsizetype units = 1;
    bool found = false;
    // Characters outside the basic plane have no code page 932 form.
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        units = 2;
    } else {
        const char16_t unit = c.unicode();
        const char bytes[2] = {char(unit & 0xFF), char(unit >> 8)};
        found = encoder().convert(bytes, 2, out);
    }
    if (!found) {
        out.append('?');
        if (missing)
            ++*missing;
    }
    return units;
}

} // namespace

QByteArray toCp932(const QString& text) {
    QByteArray out;
    out.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size();)
        i += appendCp932(text, i, out);
    return out;
}

QString fromCp932(const QByteArray& bytes) {
    QByteArray utf16;
    utf16.reserve(bytes.size() * 2);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80) {
            utf16.append(char(b));
            utf16.append('\0');
            continue;
        }
        const qsizetype length = isCp932LeadByte(b) && i + 1 < bytes.size() ? 2 : 1;
        if (decoder().convert(bytes.constData() + i, size_t(length), utf16)) {
            i += length - 1;
        } else {
            utf16.append("\xFD\xFF", 2);
        }
    }
    return QString(reinterpret_cast<const QChar*>(utf16.constData()), utf16.size() / 2);
}

QByteArray toCp932OrUtf8(const QString& text) {
    const QByteArray cp932 = toCp932(text);
    return fromCp932(cp932) == text ? cp932 : text.toUtf8();
}

QStringList cp932OrUtf8Readings(const QByteArray& bytes) {
    const QString cp932 = fromCp932(bytes);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString utf8 = decoder(bytes);
    if (decoder.hasError() || utf8 == cp932)
        return {cp932};
    if (toCp932OrUtf8(utf8) == bytes || cp932.contains(QChar::ReplacementCharacter))
        return {utf8, cp932};
    return {cp932, utf8};
}

int cp932MissingCharacters(const QString& text) {
    QByteArray out;
    int missing = 0;
    for (qsizetype i = 0; i < text.size();)
        i += appendCp932(text, i, out, &missing);
    return missing;
}

int cp932Length(const QString& text) {
    return int(toCp932(text).size());
}

QByteArray cutCp932(const QByteArray& bytes, int maxBytes) {
    if (maxBytes <= 0)
        return {};
    if (bytes.size() <= maxBytes)
        return bytes;
    int end = 0;
    while (end < maxBytes) {
        const int step = isCp932LeadByte(static_cast<unsigned char>(bytes[end])) ? 2 : 1;
        if (end + step > maxBytes)
            break;
        end += step;
    }
    return bytes.left(end);
}

QString cutToCp932Bytes(const QString& text, int maxBytes) {
    QByteArray encoded;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype before = encoded.size();
        const qsizetype units = appendCp932(text, i, encoded);
        if (encoded.size() > maxBytes) {
            encoded.truncate(before);
            break;
        }
        i += units;
    }
    return text.left(i);
}

} // namespace platform
