#include "app/mainstate.h"

#include <algorithm>

bool StartupOk = false;
bool J6ILargeSize = true;
int ViewerWidth = 768;
int ViewerHeight = 576;

int FileCount = 0;
int PageTop = 0;
std::array<bool, PerFileEntries> Selected{};
std::array<uint8_t, PerFileEntries> Copies{};
QStringList Memos;

bool MemoAutoSave = false;

QString ViewerPath;
bool PrintRunning = false;

TAll* bg = nullptr;

TForm1* Form1 = nullptr;

bool AnySelected() {
    return std::any_of(Selected.begin(), Selected.begin() + FileCount, [](bool s) { return s; });
}

int CountPrintCopies() {
    int total = 0;
    for (int k = 0; k < FileCount; ++k)
        if (Selected[k])
            total += Copies[k];
    return total;
}
