// The memo file of a picture folder, "tazu.txt" beside the pictures: pairs of lines, a file's name
// and its memo, in code page 932 with CR LF line ends, one pair per file whose memo is not empty.
//
// Loading fills Memos for the files of the folder's list; saving writes the list's memos and keeps
// the pairs of every other file the old memo file names (another file type, beyond the first 500
// files, a file moved away for now), so that no memo is lost by a rewrite. The file is replaced
// as a whole (written beside it, then renamed over it), so a failed save leaves the old file.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

// A memo holds at most this many code page 932 bytes.
constexpr int MemoBytes = 40;

// The folder whose memos Memos holds; set when the folder opens.
extern QString MemoFolder;
// Memos changed since they were last loaded or saved.
extern bool MemoDirty;
// Edits of the memo fields count as changes (off while the page fill writes the fields).
extern bool MemoTracking;

// The folder's file list as the memos are indexed by it: entry k is the memo of names[k], for k
// below fileCount.
struct MemoListing {
    QString folder;
    QStringList names;
    int fileCount = 0;
};

// folder + "/tazu.txt" (a trailing "/" of the folder removed first).
QString memoFilePath(const QString& folder);

// One pair of lines of a memo file, as the bytes stand in the file.
struct MemoPair {
    QByteArray name;
    QByteArray memo;
};

enum class MemoFileState { Missing, Read, Unreadable };

struct MemoFileContents {
    MemoFileState state = MemoFileState::Missing;
    std::vector<MemoPair> pairs; // a last line without its memo line is left out
};

// Reads the memo file at path; lines end in CR LF or LF alone.
MemoFileContents readMemoFile(const QString& path);

// A name with a line break cannot stand on a line of the memo file, so its file has no memo.
bool canHoldMemo(const QString& name);

// Loads the listing's memo file into Memos (which must hold fileCount + 9 entries): each pair
// whose name matches a listed file gives that file its memo, cut to 40 bytes without splitting a
// double-byte character. A name matches its own file exactly; only a name that matches no listed
// name exactly matches without regard to case (a file no other pair names exactly). Names are
// written in code page 932, or in UTF-8 when code page 932 cannot hold them, and are found
// either way. MemoDirty becomes false. A missing file changes nothing; a file that cannot be
// read changes nothing and reports Unreadable.
MemoFileState LoadMemos(const MemoListing& listing);

// Writes the listing's memos to its folder's memo file, followed by the pairs of the existing
// file that match no listed file (as LoadMemos matches them), in their old order. Memos loaded and
// not changed since are written back as the very bytes they were read from. True and MemoDirty
// false when the new file is in place; false (MemoDirty unchanged, the old file untouched) when it
// could not be written or the existing file could not be read.
bool SaveMemos(const MemoListing& listing);
