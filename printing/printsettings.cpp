#include "printing/printsettings.h"

#include "platform/profile.h"

#include <algorithm>

namespace {

const QString Section = QStringLiteral("PRNSET");

} // namespace

int fontStyleBits(const QFont& font) {
    return (font.bold() ? 1 : 0) | (font.italic() ? 2 : 0) | (font.underline() ? 4 : 0) |
           (font.strikeOut() ? 8 : 0);
}

void applyFontStyleBits(QFont& font, int bits) {
    font.setBold(bits & 1);
    font.setItalic(bits & 2);
    font.setUnderline(bits & 4);
    font.setStrikeOut(bits & 8);
}

void clampToRanges(TPrintSettings& s) {
    s.VerticalGap = std::clamp(s.VerticalGap, 0, 500);
    s.HorizontalGap = std::clamp(s.HorizontalGap, 0, 500);
    for (int32_t* margin : {&s.Top, &s.Bottom, &s.Left, &s.Right})
        *margin = std::clamp(*margin, 0, 999);
    s.Columns = std::clamp(s.Columns, 1, 50);
    s.Rows = std::clamp(s.Rows, 1, 99);
    s.Orientation = std::clamp(s.Orientation, 0, 1);
}

StoredPrintSettings readPrintSettings(const platform::Profile& ini) {
    const auto integer = [&](const QString& key, int fallback) {
        return ini.readInteger(Section, key, fallback);
    };
    const auto boolean = [&](const QString& key, bool fallback) {
        return ini.readBool(Section, key, fallback);
    };
    StoredPrintSettings stored;
    TPrintSettings& s = stored.layout;
    s.VerticalGap = integer(QStringLiteral("上下余白"), 10);
    s.Top = integer(QStringLiteral("Top"), 0);
    s.Bottom = integer(QStringLiteral("Bottom"), 0);
    s.Left = integer(QStringLiteral("Left"), 0);
    s.Right = integer(QStringLiteral("Right"), 0);
    s.Number = integer(QStringLiteral("Number"), 3);
    s.Separators = boolean(QStringLiteral("仕切線"), true);
    s.FileNameLine = boolean(QStringLiteral("Filename"), false);
    s.DateLine = boolean(QStringLiteral("Date"), false);
    s.KeepUpright = boolean(QStringLiteral("正立"), false);
    s.MemoLine = boolean(QStringLiteral("memo"), false);
    s.Orientation = integer(QStringLiteral("向き"), 0);
    s.Columns = integer(QStringLiteral("列"), 2);
    s.Rows = integer(QStringLiteral("行"), 4);
    s.HorizontalGap = integer(QStringLiteral("左右余白"), 10);
    stored.dateForm = std::clamp(integer(QStringLiteral("FDate"), 0), 0, 2);
    const QString fontName = ini.readString(Section, QStringLiteral("FontName"), QString());
    clampToRanges(s);
    if (!fontName.isEmpty()) {
        QFont font(fontName);
        font.setPointSize(std::clamp(integer(QStringLiteral("FontSize"), 9), 1, 200));
        applyFontStyleBits(font, integer(QStringLiteral("FontStyle"), 0));
        stored.font = font;
    }
    return stored;
}
