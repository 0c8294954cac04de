#include "app/memos.h"

#include "app/mainstate.h"
#include "platform/codepage.h"
#include "platform/savefile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringDecoder>

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

// The listed files by name without regard to case; the first of equal names wins.
class NameIndex {
public:
    explicit NameIndex(const MemoListing& listing) {
        const int count = std::min<int>(listing.fileCount, int(listing.names.size()));
        for (int k = 0; k < count; ++k) {
            const QString key = listing.names[k].toCaseFolded();
            if (!index_.contains(key))
                index_.insert(key, k);
        }
    }

    // The file a name line of the memo file stands for, read as code page 932 or as UTF-8;
    // -1 when it names no listed file.
    int find(const QByteArray& line) const {
        const int k = index_.value(platform::fromCp932(line).toCaseFolded(), -1);
        if (k >= 0)
            return k;
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString name = utf8(line);
        return utf8.hasError() ? -1 : index_.value(name.toCaseFolded(), -1);
    }

private:
    QHash<QString, int> index_;
};

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

QByteArray memoNameBytes(const QString& name) {
    const QByteArray cp932 = platform::toCp932(name);
    return platform::fromCp932(cp932) == name ? cp932 : name.toUtf8();
}

MemoFileState LoadMemos(const MemoListing& listing) {
    loadedMemos.clear();
    const MemoFileContents contents = readMemoFile(memoFilePath(listing.folder));
    if (contents.state != MemoFileState::Read)
        return contents.state;
    loadedMemos.resize(size_t(std::max(0, listing.fileCount)));
    const NameIndex index(listing);
    for (const MemoPair& pair : contents.pairs) {
        const int k = index.find(pair.name);
        if (k < 0 || k >= Memos.size())
            continue;
        const QByteArray bytes = platform::cutCp932(pair.memo, MemoBytes);
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
        appendLine(out, memoNameBytes(listing.names[k]));
        appendLine(out, memoBytes(k));
    }
    const NameIndex index(listing);
    for (const MemoPair& pair : old.pairs) {
        if (index.find(pair.name) >= 0)
            continue;
        appendLine(out, pair.name);
        appendLine(out, pair.memo);
    }

    if (!platform::replaceFile(path, out))
        return false;
    MemoDirty = false;
    return true;
}
