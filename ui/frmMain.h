#pragma once

#include "BatchReporter.h"

#include <QWidget>

class DirList;
class DriveList;
class FileList;
class QCheckBox;
class QLabel;
class QPushButton;

// The program's only window: pick a drive, a folder and some of its ".mpo" files, press "GO!",
// follow the batch in the status line and read the summary. It is also the batch's reporter.
class frmMain : public QWidget, public twinframe::BatchReporter {
    Q_OBJECT
  public:
    explicit frmMain(QWidget* parent = nullptr);

    void setStatus(const std::string& text) override;
    void showMessage(const std::string& text) override;

    static const QString idleText;

  private:
    void placeControls();
    void onDriveChanged();
    void onDirChanged(const QString& path);
    void goBackToLastGoodPlace();
    void onGo();
    void setBusy(bool busy);

    DriveList* Drive1;
    DirList* Dir1;
    FileList* File1;
    QPushButton* cmbGo;
    QLabel* lblMain;
    QCheckBox* chk1;

    // The last drive and folder that could be read, to go back to after one that cannot.
    QString goodDrive_;
    QString goodPath_;
    bool goingBack_ = false;
};
