// The picture viewer: one picture of the folder at full quality, J6I pictures at a display size
// (smoothed on request), others at a zoom, upright as the camera was held when the rotation
// switch is on, with the file's name and shooting or modification date in a status line; the
// input-time corrections, the two correction dialogs, saving as a BMP file and copying to the
// clipboard. Created once at start-up; the main window shows it for ViewerPath and hides itself
// while it shows a picture.
#pragma once

#include <QImage>
#include <QMainWindow>

#include <array>

class QAction;
class QLabel;
class TAll;

class TForm2 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr); // runs FormCreate
    ~TForm2() override;                         // runs FormDestroy

    // The picture shown is a J6I file; a CAM file shown 4:3.
    bool J6IShown = false;
    bool CamAspect = false;
    // The last opening produced a picture; the main window reads it right after showing the
    // viewer, hides itself when it holds and closes the viewer when it does not.
    bool PictureShown = false;
    // The J6I picture shown was turned as the camera was held: display sizes are applied with
    // width and height swapped.
    bool ViewerRotated = false;
    // The picture as loaded, before any correction: what corrected drawings start from when
    // the picture is not held as CurrentDib, and the base of the zooms.
    QImage ViewerOriginal;

    QLabel* StatusBar1 = nullptr;
    TAll* All1 = nullptr;

    // Sizes the window around All1 and keeps it on the screen.
    void FitViewerWindow();

    void KSAVE1Click(); // save as BMP
    void K4Click();     // back
    void K5Click();     // copy to the clipboard
    void K2Click();     // colour balance
    void N1Click();     // tone balance
    void K6Click();     // reset the corrections
    // The display size items, in menu order: 640*480, 768*576, 320*240, 384*288, 512*384.
    void SizeItemClick(int item);
    void ZoomItemClick(int zoom); // 1×, ½×, ¾× (a Zoom)

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Keeps the status line as wide as the window.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenu();
    void FormCreate();
    void FormDestroy();
    void FormShow();
    void FormClose();
    // Opens the picture; false when there is none to show (the user has been told why).
    bool openPicture(const QString& path, const QString& ext);
    void setDisplaySize(int width, int height);
    void drawWithInputCorrections();
    // The picture as it is shown, at size: All1's picture stretched into it.
    QImage shownPictureAt(QSize size) const;

    std::array<QAction*, 5> sizeItems_{};
    std::array<QAction*, 3> zoomItems_{};
};

// The one instance, created at start-up.
extern TForm2* Form2;
