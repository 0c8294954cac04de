// The printing progress dialog: what is being done, a gauge of the pictures printed, and the
// button (or Escape) that stops the job before its next picture. Created once at start-up;
// the print job shows it for as long as it runs.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

class TOKBottomDlg : public QDialog {
    Q_OBJECT

public:
    explicit TOKBottomDlg(QWidget* parent = nullptr);

    // Shows the dialog for a job of pictures copies: not modal for the job, which goes on
    // running, but keeping input from every other window until it closes.
    void showForJob(int pictures);
    // The gauge at done pictures.
    void showProgress(int done);
    void CancelBtnClick();

    QLabel* Label1 = nullptr;
    QProgressBar* Gauge1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* CancelBtn = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // Escape presses the cancel button; the dialog closes only when the job ends.
    void reject() override;
};

// The one instance, created at start-up.
extern TOKBottomDlg* OKBottomDlg;
