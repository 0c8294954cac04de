#include "platform/profile.h"

#include "platform/library.h"

#include "platform/codepage.h"
#include "platform/savefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

namespace {

// Real settings files are a few kilobytes; anything beyond this is not one of ours.
constexpr qint64 MaxProfileSize = 8 * 1024 * 1024;

QString sectionName(const QString& line) {
    const QString t = line.trimmed();
    if (!t.startsWith(u'['))
        return {};
    const qsizetype close = t.indexOf(u']');
    return (close < 0 ? t.mid(1) : t.mid(1, close - 1)).trimmed();
}

bool isSectionLine(const QString& line) {
    return line.trimmed().startsWith(u'[');
}

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A value as it is read: without blanks around it, and without matching quotes around it all.
QString unquoted(const QString& text) {
    const QString value = text.trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

// Key and value of a "key=value" line; false for other lines.
bool splitEntry(const QString& line, QString& key, QString& value) {
    const qsizetype eq = line.indexOf(u'=');
    if (eq < 0 || line.trimmed().startsWith(u';'))
        return false;
    key = line.left(eq).trimmed();
    value = unquoted(line.mid(eq + 1));
    return true;
}

} // namespace

QString settingsFilePath(const QString& programName) {
    const QString forced = qEnvironmentVariable("TAZU_INI");
    if (!forced.isEmpty())
        return forced;
    const QFileInfo program(QCoreApplication::applicationFilePath());
    return settingsFilePathFor(program.absolutePath(),
                               programName.isEmpty() ? program.completeBaseName() : programName);
}

// An installed program keeps its settings in the user's configuration folder even where its
// folder is writable (a prefix in the user's home, or root's /usr/bin), so that the installation
// holds nothing of any one user's.
QString settingsFilePathFor(const QString& programFolder, const QString& programName) {
    const QString beside = programFolder + u'/' + programName + QStringLiteral(".INI");
    if (QFileInfo::exists(beside) ||
        (QFileInfo(programFolder).isWritable() && !runsInstalled(programFolder)))
        return beside;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tazu/tazu.INI");
}

bool parseProfileInteger(const QString& text, int& value) {
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(u'-') || t.startsWith(u'+')) {
        negative = t.front() == u'-';
        t = t.mid(1);
    }
    int base = 10;
    if (t.startsWith(u'$')) {
        base = 16;
        t = t.mid(1);
    } else if (t.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t = t.mid(2);
    }
    if (t.isEmpty())
        return false;
    const int64_t limit = base == 16 ? int64_t(UINT32_MAX) : int64_t(INT32_MAX) + 1;
    int64_t magnitude = 0;
    for (const QChar c : t) {
        const int digit = c.isDigit() ? c.digitValue()
                          : base == 16 && c.toLower() >= u'a' && c.toLower() <= u'f'
                              ? c.toLower().unicode() - u'a' + 10
                              : -1;
        if (digit < 0 || digit >= base || c.unicode() > 0x7F)
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return false;
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    // Hexadecimal values fill all 32 bits, as $FFFFFFFF = -1.
    if (base == 16 && !negative && signedValue <= int64_t(UINT32_MAX)) {
        value = int(uint32_t(signedValue));
        return true;
    }
    if (signedValue < INT32_MIN || signedValue > INT32_MAX)
        return false;
    value = int(signedValue);
    return true;
}

Profile::Profile(const QString& path) : path_(path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    if (file.size() > MaxProfileSize) {
        writable_ = false;
        return;
    }
    const QByteArray content = file.readAll();
    for (QByteArray raw : content.split('\n')) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        lines_.push_back({raw, fromCp932(raw)});
    }
    // The split leaves an empty piece after the last line end.
    if (!lines_.empty() && lines_.back().raw.isEmpty())
        lines_.pop_back();
}

int Profile::findSection(const QString& section) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (isSectionLine(lines_[i].text) && sameName(sectionName(lines_[i].text), section))
            return int(i);
    return -1;
}

int Profile::findKey(int sectionLine, const QString& key) const {
    QString k, v;
    for (size_t i = size_t(sectionLine) + 1; i < lines_.size(); ++i) {
        if (isSectionLine(lines_[i].text))
            break;
        if (splitEntry(lines_[i].text, k, v) && sameName(k, key))
            return int(i);
    }
    return -1;
}

bool Profile::hasKey(const QString& section, const QString& key) const {
    const int s = findSection(section);
    return s >= 0 && findKey(s, key) >= 0;
}

QString Profile::readString(const QString& section, const QString& key,
                            const QString& defaultValue) const {
    const int s = findSection(section);
    const int line = s < 0 ? -1 : findKey(s, key);
    if (line < 0)
        return defaultValue;
    // The value's own bytes: a value code page 932 cannot hold is stored in UTF-8. ('=' is never
    // part of a double-byte character in either.)
    const QByteArray& raw = lines_[size_t(line)].raw;
    return unquoted(cp932OrUtf8Readings(raw.mid(raw.indexOf('=') + 1)).front());
}

int Profile::readInteger(const QString& section, const QString& key, int defaultValue) const {
    int value;
    return parseProfileInteger(readString(section, key, QString()), value) ? value : defaultValue;
}

bool Profile::readBool(const QString& section, const QString& key, bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void Profile::setEntry(int index, const QString& key, const QString& value) {
    // Blanks at either end, or quotes of the value's own around it all, would be lost in reading;
    // in quotes they stay.
    const QString stored = unquoted(value) == value ? value : u'"' + value + u'"';
    const QByteArray raw = toCp932(key) + '=' + toCp932OrUtf8(stored);
    lines_[size_t(index)] = {raw, key + u'=' + stored};
}

void Profile::writeString(const QString& section, const QString& key, const QString& value) {
    if (value.contains(u'\n') || value.contains(u'\r'))
        return;
    int s = findSection(section);
    if (s < 0) {
        const QString text = u'[' + section + u']';
        lines_.push_back({toCp932(text), text});
        s = int(lines_.size()) - 1;
    }
    const int existing = findKey(s, key);
    if (existing >= 0) {
        QString k, v;
        splitEntry(lines_[size_t(existing)].text, k, v);
        setEntry(existing, k, value);
        return;
    }
    // A new key goes after the section's last entry, before blank lines that end the section.
    size_t insertAt = size_t(s) + 1;
    for (size_t i = insertAt; i < lines_.size() && !isSectionLine(lines_[i].text); ++i)
        if (!lines_[i].text.trimmed().isEmpty())
            insertAt = i + 1;
    lines_.insert(lines_.begin() + std::ptrdiff_t(insertAt), Line{});
    setEntry(int(insertAt), key, value);
}

void Profile::writeInteger(const QString& section, const QString& key, int value) {
    writeString(section, key, QString::number(value));
}

void Profile::writeBool(const QString& section, const QString& key, bool value) {
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool Profile::save() const {
    if (!writable_)
        return false;
    const QFileInfo info(path_);
    if (!QDir().mkpath(info.absolutePath()))
        return false;
    QByteArray bytes;
    for (const Line& line : lines_) {
        bytes += line.raw;
        bytes += "\r\n";
    }
    return replaceFile(path_, bytes);
}

} // namespace platform
