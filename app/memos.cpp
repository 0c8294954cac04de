#include "app/memos.h"

#include "app/mainstate.h"
#include "platform/codepage.h"
#include "platform/savefile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

QString MemoFolder;
bool MemoDirty = false;
bool MemoTracking = false;

namespace {

// Far more than 500 names and memos; a larger file is not a memo file and is left alone.
constexpr qint64 MaxMemoFileBytes = 16 * 1024 * 1024;

// Each memo as it was loaded: the text shown and the bytes it came from, so that a memo that was
// not changed is written back exactly (bytes that are not valid code page 932, or one of the
// characters code page 932 has two codes for, survive a save).
struct LoadedMemo {
    QString text;
    QByteArray bytes;
};
std::vector<LoadedMemo> loadedMemos;

// The listed file each pair of a memo file belongs to, -1 for none. A name that is exactly a
// listed name belongs to that file. Only a name that matches no listed name exactly is compared
// without regard to case, and then goes to the first file of that name that no pair names
// exactly: "A.JPG" and "a.jpg" in one folder each keep their own memo. A name line is read as
// code page 932 or as UTF-8, whichever names a file.
std::vector<int> filesOfPairs(const std::vector<MemoPair>& pairs, const MemoListing& listing) {
    const int count = std::clamp<int>(listing.fileCount, 0, int(listing.names.size()));
    QHash<QString, int> exact;
    QHash<QString, QList<int>> folded;
    for (int k = 0; k < count; ++k) {
        exact.insert(listing.names[k], k);
        folded[listing.names[k].toCaseFolded()].push_back(k);
    }

    std::vector<int> files(pairs.size(), -1);
    std::vector<QStringList> readings(pairs.size());
    std::vector<bool> namedExactly(size_t(count), false);
    for (size_t i = 0; i < pairs.size(); ++i) {
        readings[i] = platform::cp932OrUtf8Readings(pairs[i].name);
        for (const QString& name : readings[i])
            if (const int k = exact.value(name, -1); k >= 0 && files[i] < 0) {
                files[i] = k;
                namedExactly[size_t(k)] = true;
            }
    }
    const auto firstNotNamedExactly = [&](const QStringList& names) {
        for (const QString& name : names)
            for (const int k : folded.value(name.toCaseFolded()))
                if (!namedExactly[size_t(k)])
                    return k;
        return -1;
    };
    for (size_t i = 0; i < pairs.size(); ++i)
        if (files[i] < 0)
            files[i] = firstNotNamedExactly(readings[i]);
    return files;
}

std::vector<MemoPair> pairsOf(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    if (bytes.endsWith('\n'))
        lines.removeLast(); // the end of the last line, not a line of its own
    for (QByteArray& line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    std::vector<MemoPair> pairs;
    for (qsizetype i = 0; i + 1 < lines.size(); i += 2)
        pairs.push_back({lines[i], lines[i + 1]});
    return pairs;
}

QByteArray memoBytes(int k) {
    const QString& text = Memos[k];
    if (k < int(loadedMemos.size()) && loadedMemos[k].text == text)
        return loadedMemos[k].bytes;
    return platform::toCp932(text);
}

void appendLine(QByteArray& out, const QByteArray& line) {
    out += line;
    out += "\r\n";
}

} // namespace

QString memoFilePath(const QString& folder) {
    QString path = folder;
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path + QStringLiteral("/tazu.txt");
}

bool canHoldMemo(const QString& name) {
    return !name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r'));
}

MemoFileContents readMemoFile(const QString& path) {
    MemoFileContents contents;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return contents;
    contents.state = MemoFileState::Unreadable;
    QFile file(path);
    if (info.isDir() || info.size() > MaxMemoFileBytes || !file.open(QIODevice::ReadOnly))
        return contents;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return contents;
    contents.state = MemoFileState::Read;
    contents.pairs = pairsOf(bytes);
    return contents;
}

MemoFileState LoadMemos(const MemoListing& listing) {
    loadedMemos.clear();
    const MemoFileContents contents = readMemoFile(memoFilePath(listing.folder));
    if (contents.state != MemoFileState::Read)
        return contents.state;
    loadedMemos.resize(size_t(std::max(0, listing.fileCount)));
    const std::vector<int> files = filesOfPairs(contents.pairs, listing);
    for (size_t i = 0; i < files.size(); ++i) {
        const int k = files[i];
        if (k < 0 || k >= Memos.size())
            continue;
        const QByteArray bytes = platform::cutCp932(contents.pairs[i].memo, MemoBytes);
        Memos[k] = platform::fromCp932(bytes);
        loadedMemos[size_t(k)] = {Memos[k], bytes};
    }
    MemoDirty = false;
    return MemoFileState::Read;
}

bool SaveMemos(const MemoListing& listing) {
    const QString path = memoFilePath(listing.folder);
    const MemoFileContents old = readMemoFile(path);
    if (old.state == MemoFileState::Unreadable)
        return false; // replacing it would throw away memos that could not be read

    QByteArray out;
    const int count =
        std::min<int>({listing.fileCount, int(listing.names.size()), int(Memos.size())});
    for (int k = 0; k < count; ++k) {
        if (Memos[k].isEmpty() || !canHoldMemo(listing.names[k]))
            continue;
        appendLine(out, platform::toCp932OrUtf8(listing.names[k]));
        appendLine(out, memoBytes(k));
    }
    const std::vector<int> files = filesOfPairs(old.pairs, listing);
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i] >= 0)
            continue;
        appendLine(out, old.pairs[i].name);
        appendLine(out, old.pairs[i].memo);
    }

    if (!platform::replaceFile(path, out))
        return false;
    MemoDirty = false;
    return true;
}
