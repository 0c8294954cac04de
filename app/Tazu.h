// The main window and the state it shares with the rest of the program.
#pragma once

#include <QMainWindow>
#include <QString>

// True while start-up may go on; cleared when the JPEG decoder plug-in is missing. The main
// window writes its settings at the end only while it holds.
extern bool StartupOk;

// Viewer size of J6I pictures: 768 × 576 when true, else 640 × 480.
extern bool J6ILargeSize;
extern int ViewerWidth;
extern int ViewerHeight;

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr); // runs FormCreate
    ~TForm1() override;                         // runs FormDestroy

protected:
    // Closing the main window ends the program, whatever other windows are open.
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void readSettings();
    void writeSettings() const;

    QString directory_; // the folder to open, as stored
    int filterIndex_ = 0;
};

extern TForm1* Form1;
