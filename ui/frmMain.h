#pragma once

#include "BatchCommand.h"
#include "LauncherProgress.h"
#include "split/BatchReporter.h"

#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include <array>
#include <memory>

class DirList;
class DriveList;
class FileList;
class QCheckBox;
class QDialog;
class QLabel;
class QPushButton;

// The program's only window: pick a drive, a folder and some of its ".mpo" files, press "GO!",
// follow the batch in the status line and read the summary.
// The batch command itself (its steps, its thread, stopping, the summary) is shared with the other
// windows of the program; this class gives it the Qt calls it asks for.
class frmMain : public QWidget, private twinframe::BatchWindow {
    Q_OBJECT
  public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Opens the folder of the first file with those of the files that are its ".mpo" files
    // selected; the others are named in one message. As for files given on the command line or
    // dropped on the window.
    void openFiles(const QStringList& paths);
    // The same, once the window is on screen: for the files of the command line.
    void openFilesWhenShown(const QStringList& paths);

    bool isBatchRunning() const { return batch_->running(); }
    // Asks a running batch to stop once the file being split is done.
    void stopBatch();

    static const QString idleText;
    // The name of the program's desktop entry, without ".desktop".
    static const QString desktopFileName;
    // The size of the fixed layout at the window's font: the size the window first opens at and
    // the smallest it can be made.
    QSize layoutSize() const { return layoutSize_; }

  signals:
    // The batch is over, the window unlocked and the summary (if any) answered.
    void batchFinished();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void placeControls();
    void fitControlsToSize();
    QSize roomOnScreen() const;
    void rememberSize() const;
    void onDriveChanged();
    void onVolumesRefreshed();
    void onDirChanged(const QString& path);
    void goBackToLastGoodPlace();
    void onGo();
    bool blocksWhileABoxShows(QObject* watched, QEvent* event);
    bool isSpentStartKey(QObject* watched, QEvent* event);

    // What the batch command asks of the window.
    void setControlsLocked(bool locked) override;
    void setWaitCursor(bool waiting) override;
    void showStatus(const std::string& text) override;
    void showIdleText() override;
    void refreshFileList() override;
    twinframe::BoxAnswer showMessageBox(const std::string& text) override;
    void showProgress(std::int64_t done, std::int64_t total) override;
    void batchEnded(bool closeNow) override;
    void postToWindow(std::function<void()> task) override;

    DriveList* Drive1;
    DirList* Dir1;
    FileList* File1;
    QPushButton* cmbGo;
    QLabel* lblMain;
    QCheckBox* chk1;

    // Where the fixed layout puts Drive1, Dir1, File1, cmbGo, lblMain and chk1, and its size.
    std::array<QRect, 6> layout_;
    QSize layoutSize_;

    // The last drive and folder that could be read, to go back to after one that cannot.
    QString goodDrive_;
    QString goodPath_;
    bool goingBack_ = false;

    QPointer<QWidget> focusBeforeBatch_;
    // The message box on show, if any: while it is, the window takes no input but its closing.
    QPointer<QDialog> openBox_;
    // The key that answered a box, until it is let go: it starts no batch.
    int spentKey_ = 0;
    QStringList filesWhenShown_;
    LauncherProgress launcher_;
    bool closing_ = false; // the window is being destroyed: no more boxes
    std::unique_ptr<twinframe::BatchCommand> batch_;
};
