#include "viewer/Gfull.h"

#include "app/Tazu.h"
#include "app/mainstate.h"
#include "correction/hilite.h"
#include "correction/iroc.h"
#include "correction/pipeline.h"
#include "correction/preview.h"
#include "correction/settings.h"
#include "dialogs/opt.h"
#include "imaging/all.h"
#include "imaging/fullsize.h"
#include "imaging/j6i.h"
#include "imaging/orientation.h"
#include "imaging/shootingdate.h"
#include "platform/checked.h"
#include "platform/dib.h"
#include "platform/guard.h"
#include "platform/interaction.h"
#include "platform/memory.h"
#include "platform/profile.h"
#include "platform/savefile.h"
#include "platform/waitcursor.h"
#include "viewer/viewerpicture.h"

#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QScreen>

#include <cstring>

TForm2* Form2 = nullptr;

namespace {

const QString Section = QStringLiteral("Viewer");
constexpr int StatusLineHeight = 23;

// The display sizes of J6I pictures, in menu order.
struct DisplaySize {
    const char* name;
    const char* caption;
    int width, height;
};
constexpr std::array<DisplaySize, 5> DisplaySizes{{
    {"N6404801", "640*480", 640, 480},
    {"N7685761", "768*576", 768, 576},
    {"N3202401", "320*240", 320, 240},
    {"N3842881", "384*288", 384, 288},
    {"N5123841", "512*384", 512, 384},
}};

// The size of the picture held in CurrentDib.
QSize heldPictureSize() {
    const platform::LockedBlock header(CurrentDib.header);
    platform::BitmapInfoHeader info{};
    std::memcpy(&info, header.data(), sizeof info);
    return {info.biWidth, info.biHeight};
}

QImage blankPicture(QSize size) {
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    return picture;
}

bool smoothingOn() {
    return OKBottomDlg2 && OKBottomDlg2->CheckBox1->isChecked();
}

} // namespace

TForm2::TForm2(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("画像ビューア"));
    auto* client = new QWidget(this);
    client->setAutoFillBackground(true);
    QPalette white = client->palette();
    white.setColor(QPalette::Window, Qt::white);
    client->setPalette(white);
    setCentralWidget(client);

    StatusBar1 = new QLabel(client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(15);
    StatusBar1->setFont(font);
    StatusBar1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->setGeometry(0, 0, 640, StatusLineHeight);
    All1 = new TAll(client);
    All1->setObjectName(QStringLiteral("All1"));
    All1->setPreView(false);
    All1->setAutoSize(false);
    All1->setStretch(true);
    All1->move(0, StatusLineHeight);
    client->installEventFilter(this);

    buildMenu();
    FormCreate();
    CorrectionPreview = {All1, &ViewerOriginal};
}

TForm2::~TForm2() {
    CorrectionPreview = {};
    FormDestroy();
}

void TForm2::buildMenu() {
    const auto item = [this](QMenu* menu, const char* name, const QString& caption, auto handler) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, platform::guardedSlot(handler));
        return action;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル"));
    file->setObjectName(QStringLiteral("K3"));
    item(file, "KSAVE1", QStringLiteral("ＢＭＰ保存します"), [this] { KSAVE1Click(); });
    file->addSeparator()->setObjectName(QStringLiteral("N2"));
    item(file, "K4", QStringLiteral("戻る"), [this] { K4Click(); });

    QMenu* clipboard = menuBar()->addMenu(QStringLiteral("クリップボード"));
    clipboard->setObjectName(QStringLiteral("Edit1"));
    item(clipboard, "K5", QStringLiteral("画像をクリップボードにコピー"), [this] { K5Click(); });

    QMenu* correction = menuBar()->addMenu(QStringLiteral("補正"));
    correction->setObjectName(QStringLiteral("K1"));
    item(correction, "K2", QStringLiteral("カラーバランスの調整"), [this] { K2Click(); });
    item(correction, "N1", QStringLiteral("トーンバランスの調整"), [this] { N1Click(); });
    correction->addSeparator()->setObjectName(QStringLiteral("N3"));
    item(correction, "K6", QStringLiteral("リセット"), [this] { K6Click(); });

    QMenu* size = menuBar()->addMenu(QStringLiteral("サイズ"));
    size->setObjectName(QStringLiteral("K7"));
    for (size_t i = 0; i < DisplaySizes.size(); ++i)
        sizeItems_[i] =
            item(size, DisplaySizes[i].name, QString::fromLatin1(DisplaySizes[i].caption),
                 [this, i] { SizeItemClick(int(i)); });
    zoomItems_[0] =
        item(size, "K8", QStringLiteral("１倍"), [this] { ZoomItemClick(int(Zoom::Full)); });
    zoomItems_[1] =
        item(size, "K9", QStringLiteral("１／２倍"), [this] { ZoomItemClick(int(Zoom::Half)); });
    zoomItems_[2] = item(size, "K321", QStringLiteral("３／４倍"),
                         [this] { ZoomItemClick(int(Zoom::ThreeQuarters)); });
}

void TForm2::FormCreate() {
    const platform::Profile ini(platform::settingsFilePath());
    const int top = ini.readInteger(Section, QStringLiteral("Top"), -1);
    const int left = ini.readInteger(Section, QStringLiteral("Left"), 0);
    resize(ini.readInteger(Section, QStringLiteral("Width"), 640),
           ini.readInteger(Section, QStringLiteral("Height"), 400));
    if (top == -1) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->geometry().center() - rect().center());
    } else {
        move(left, top);
    }
}

void TForm2::FormDestroy() {
    platform::Profile ini(platform::settingsFilePath());
    ini.writeInteger(Section, QStringLiteral("Top"), y());
    ini.writeInteger(Section, QStringLiteral("Left"), x());
    ini.writeInteger(Section, QStringLiteral("Width"), width());
    ini.writeInteger(Section, QStringLiteral("Height"), height());
    ini.save();
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (watched == centralWidget() && event->type() == QEvent::Resize)
        StatusBar1->resize(centralWidget()->width(), StatusLineHeight);
    return QMainWindow::eventFilter(watched, event);
}

void TForm2::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (event->spontaneous())
        return;
    platform::guarded([this] {
        try {
            FormShow();
        } catch (...) {
            PictureShown = false; // nothing to show: the main window stays
            throw;
        }
    });
}

void TForm2::FormShow() {
    const QString path = ViewerPath;
    const QString ext = pictureExtension(path);
    WriteBack = false;
    LoadResult = HeldByComponent;
    PictureShown = true;
    Correctable = true;
    if (!openPicture(path, ext)) {
        PictureShown = false;
        return;
    }
    FitViewerWindow();
}

bool TForm2::openPicture(const QString& path, const QString& ext) {
    const bool isJ6I = ext == QLatin1String(".J6I");
    ViewerOriginal = QImage();
    All1->clearPicture();
    // A picture the component cannot load leaves nothing to show (it has said why).
    const auto loadByName = [this, &path] {
        All1->setPictureName(path);
        All1->setAutoSize(false);
        return All1->hasPicture();
    };

    if (ext == QLatin1String(".BMP")) {
        // A file that cannot be read straight goes to the component; one too large for the
        // size rule is an overflow, shown by the general error display, and nothing opens.
        bool held = false;
        try {
            held = LoadBmp24(path);
        } catch (const platform::IoError&) {
        }
        if (held) {
            LoadResult = HeldAsDib;
            All1->setPicture(blankPicture(heldPictureSize()));
        } else if (!loadByName()) {
            return false;
        }
    } else if (ext == QLatin1String(".JPG") || isJ6I || ext == QLatin1String(".TIF") ||
               ext == QLatin1String(".CAM")) {
        All1->resize(ViewerWidth, ViewerHeight);
        LoadResult = LoadFullSize(path, ext);
        if (LoadResult == HeldAsDib) {
            if (!(isJ6I && smoothingOn() && SmoothJ6IPicture()))
                AdoptDecodedPicture(isJ6I);
            All1->setPicture(blankPicture(heldPictureSize()));
        } else if (isJ6I || LoadResult == LoadFailed) {
            FreeDecodedDib();
            return false;
        } else if (!loadByName()) {
            return false;
        }
    } else if (!loadByName()) {
        return false;
    }

    ViewerRotated = false;
    const QString name = QFileInfo(path).fileName();
    for (QAction* item : sizeItems_)
        item->setVisible(isJ6I);
    for (QAction* item : zoomItems_)
        item->setVisible(!isJ6I);
    J6IShown = isJ6I;
    if (isJ6I) {
        All1->setAutoSize(false);
        const J6IInfo info = ReadJ6IInfo(path);
        All1->resize(ViewerWidth, ViewerHeight);
        StatusBar1->setText(j6iStatusLine(name, info));
        if ((info.orientation == 1 || info.orientation == 3) && picturesTurnedUpright()) {
            ViewerRotated = true;
            All1->resize(ViewerHeight, ViewerWidth);
            RotateCurrentDib(*All1, info.orientation);
        }
        ViewerOriginal = All1->picture();
        CamAspect = false;
    } else {
        const std::optional<ExifDateTime> taken = exifShootingDate(path, ext);
        StatusBar1->setText(taken ? shootingStatusLine(name, *taken)
                                  : fileStatusLine(name, QFileInfo(path).lastModified()));
        // Turned before the picture is taken as the original, so that zooms, corrections,
        // saving and copying all work on the upright picture.
        const int orientation = picturesTurnedUpright() ? pictureOrientation(path, ext) : AsStored;
        if (orientation != AsStored) {
            if (LoadResult == HeldAsDib)
                OrientCurrentDib(*All1, orientation);
            else
                All1->setPicture(uprightImage(All1->picture(), orientation));
        }
        ViewerOriginal = All1->picture();
        CamAspect = ext == QLatin1String(".CAM");
        All1->resize(zoomedSize(Zoom::Full, ViewerOriginal.size(), CamAspect));
    }
    drawWithInputCorrections();
    return true;
}

void TForm2::drawWithInputCorrections() {
    const platform::WaitCursor busy;
    DrawCorrected(ViewerOriginal, *All1, 5);
}

void TForm2::FitViewerWindow() {
    const int menuHeight = menuBar()->sizeHint().height();
    resize(All1->width(), All1->height() + StatusLineHeight + menuHeight);
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect frame = frameGeometry();
    const QRect fitted = fittedToScreen(frame, screen->geometry());
    if (fitted != frame)
        resize(size() + fitted.size() - frame.size());
}

void TForm2::setDisplaySize(int width, int height) {
    All1->setAutoSize(false);
    if (ViewerRotated)
        All1->resize(height, width);
    else
        All1->resize(width, height);
    FitViewerWindow();
}

void TForm2::SizeItemClick(int item) {
    const DisplaySize& size = DisplaySizes[size_t(item)];
    if (item == 0 || item == 1) {
        ViewerWidth = size.width;
        ViewerHeight = size.height;
        J6ILargeSize = item == 1;
    }
    setDisplaySize(size.width, size.height);
}

void TForm2::ZoomItemClick(int zoom) {
    const auto chosen = Zoom(zoom);
    if (chosen != Zoom::Full)
        All1->setAutoSize(false);
    All1->resize(zoomedSize(chosen, ViewerOriginal.size(), CamAspect));
    FitViewerWindow();
}

QImage TForm2::shownPictureAt(QSize size) const {
    QImage shown = blankPicture(size);
    QPainter painter(&shown);
    painter.drawImage(QRect(QPoint(0, 0), size), All1->picture());
    return shown;
}

void TForm2::KSAVE1Click() {
    const QFileInfo picture(ViewerPath);
    const platform::SaveFileRequest request{
        picture.dir().filePath(picture.completeBaseName() + QStringLiteral(".BMP")),
        QStringLiteral("BMP|*.bmp"), QStringLiteral("BMP")};
    const std::optional<QString> chosen = platform::chooseSaveFile(request, this);
    if (!chosen)
        return;
    QByteArray file;
    if (LoadResult == HeldAsDib) {
        file = bmpFileOf(PackedCurrentDib());
    } else {
        const auto dib = platform::imageToDib(shownPictureAt(All1->size()), 24);
        if (dib)
            file = bmpFileOf(dib.value);
    }
    if (file.isEmpty() || !platform::replaceFile(*chosen, file))
        throw platform::IoError(QStringLiteral("ファイルを書き込めません"), *chosen);
}

void TForm2::K5Click() {
    QImage image;
    QByteArray bmp;
    if (LoadResult == HeldAsDib) {
        const QByteArray packed = PackedCurrentDib();
        image = platform::packedDibToImage(platform::byteView(packed)).value;
        bmp = bmpFileOf(packed);
    } else {
        image = shownPictureAt(ViewerOriginal.size());
        const auto dib = platform::imageToDib(image, 24);
        if (dib)
            bmp = bmpFileOf(dib.value);
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || image.isNull()) {
        platform::showMessage(QStringLiteral("クリップボードにコピーできません"), {},
                              platform::MessageIcon::Warning);
        return;
    }
    auto* data = new QMimeData; // the clipboard owns it
    data->setImageData(image);
    data->setData(QStringLiteral("image/bmp"), bmp);
    clipboard->setMimeData(data);
}

void TForm2::K2Click() {
    if (iroform)
        iroform->exec();
}

void TForm2::N1Click() {
    if (Form3)
        Form3->exec();
}

void TForm2::K6Click() {
    TCorrectionSettings& c = CorrectionSettings;
    c.Blue = 0;
    c.Green = 0;
    c.Red = 0;
    c.Hitone = 2550;
    c.Midtone = 500;
    c.Lowtone = 0;
    if (Form3)
        Form3->Button4Click(); // its level boxes show the levels just set
    DrawCorrected(ViewerOriginal, *All1, 5);
}

void TForm2::K4Click() {
    close();
}

void TForm2::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    platform::guarded([this] { FormClose(); });
}

void TForm2::FormClose() {
    ViewerOriginal = QImage();
    All1->clearPicture();
    if (LoadResult == HeldAsDib)
        FreeCurrentDib();
    LoadResult = HeldByComponent;
    if (Form1)
        Form1->show();
}
