// The program's picture control: it loads a picture file as soon as it is given the file's name,
// either natively (BMP through the program's own DIB conversion, what that does not take and
// ICO, WMF, EMF through Qt's image reading) or through a decoder plug-in, at full size or, for
// JPEG pictures, as a quarter-size thumbnail. Transparent parts of native pictures show white.
#pragma once

#include "platform/imagecontrol.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The extension of a file name: the text from the last "." after the last "/", "\" or ":",
// upper-cased; empty when the name has none.
QString pictureExtension(const QString& name);

class TAll : public platform::ImageControl {
    Q_OBJECT
    Q_PROPERTY(QString PictureName READ pictureName WRITE setPictureName)
    Q_PROPERTY(bool PreView READ preView WRITE setPreView)
    Q_PROPERTY(int OrgWidth READ orgWidth)
    Q_PROPERTY(int OrgHeight READ orgHeight)
    Q_PROPERTY(bool AutoSize READ autoSize WRITE setAutoSize)
    Q_PROPERTY(int Error READ error)

public:
    // Which decoder reads a picture, by its extension.
    enum DecoderKind {
        NativeKind = 0, // BMP, ICO, WMF, EMF, read natively
        JpegKind = 1,
        GifKind = 2,
        TiffKind = 3,
        PicKind = 4,
        Pic2Kind = 5,
        MagKind = 6,
        Xld4Kind = 7,
        PiKind = 8,
        CamKind = 9,
        // Today's phone and web pictures: thumbnails from the plug-in's GetPreview where it has
        // one, else from the whole picture; thumbnail mode stays on after them.
        HeifKind = 10,
        PngKind = 11,
        WebpKind = 12,
    };

    // Values of Error besides 0 (loaded or cleared) and a plug-in's own result code.
    static constexpr int NativeLoadFailed = 2;
    static constexpr int ExtensionNotSupported = 10;
    static constexpr int PluginNotFound = 20;

    explicit TAll(QWidget* parent = nullptr);

    const QString& pictureName() const { return pictureName_; }
    // Loads the named picture, or clears the picture when the name is empty. Failures are
    // shown to the user; afterwards the picture and the name are empty and Error says why.
    void setPictureName(const QString& name);

    bool preView() const { return preView_; }
    // Thumbnail mode; loads the current picture again when there is one.
    void setPreView(bool preView);

    // The size the plug-in reported for the last JPEG, HEIF, PNG or WebP picture; 0 for other
    // formats.
    int orgWidth() const { return orgWidth_; }
    int orgHeight() const { return orgHeight_; }

    int error() const { return error_; }

    int decoderKind() const { return decoderKind_; }
    // The last picture came with a colour table on an 8-bit (palette) display.
    bool paletteMode() const { return paletteMode_; }

    // Where the JPEG plug-in may also find the picture data: the offset of the JPEG stream in
    // a J6I file. The main window sets it before each load.
    int JpegOffset = 0;

private:
    struct Decoder; // one row of the extension table
    struct Exports; // the plug-in functions one load calls

    static const Decoder* findDecoder(const QString& extension);

    void load();
    void loadNative(const QString& extension);
    void loadThroughPlugin(const Decoder& decoder);
    // JPEG, HEIF, PNG and WebP pictures: their size asked for first, a thumbnail from the
    // plug-in's preview where it has one.
    void loadSized(const QByteArray& fileName, const Exports& exports, bool isJpeg);
    void loadOther(const QByteArray& fileName, const Exports& exports);
    void forgetThumbnailState();
    // Empties the picture and the name and tells the user why.
    void fail(int error, const QString& text);
    // fail() with the message of a plug-in result code (or of the same code found here).
    void failWithResult(int32_t result);

    QString pictureName_;
    bool preView_ = false;
    int orgWidth_ = 0;
    int orgHeight_ = 0;
    int error_ = 0;
    int decoderKind_ = NativeKind;
    bool paletteMode_ = false;
};
