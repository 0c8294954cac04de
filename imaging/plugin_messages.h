// The texts the program shows when a picture cannot be loaded, shared by the picture control
// and the full-size loader so that both report a decoder's result alike.
#pragma once

#include <QString>

#include <cstdint>

namespace platform {
enum class DibError;
}

// A DIB the program refuses, reported as the plug-in would have reported the same fault: too
// large a picture as memory that cannot be allocated, anything else as corrupt data.
int32_t resultOfDibError(platform::DibError error);

// The message for a decoder plug-in's non-zero result code.
QString pluginResultText(int32_t code);

// A message about a file: the text, then the file's full path in brackets ("%s [%s]").
QString fileMessageText(const QString& text, const QString& path);

// Shows fileMessageText(text, path) in a modal message box.
void showFileMessage(const QString& text, const QString& path);
