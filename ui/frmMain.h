#pragma once

#include "BatchReporter.h"
#include "runBatch.h"

#include <QStringList>
#include <QWidget>

#include <QRect>

#include <array>
#include <atomic>
#include <memory>

class BatchRelay;
class DirList;
class DriveList;
class FileList;
class QCheckBox;
class QLabel;
class QPushButton;
class QThread;

// The program's only window: pick a drive, a folder and some of its ".mpo" files, press "GO!",
// follow the batch in the status line and read the summary. It is also the batch's reporter.
// The batch runs on a thread of its own, so the window keeps answering; what the batch reports
// comes back to the window's thread, and each message holds the batch until it is answered.
class frmMain : public QWidget, public twinframe::BatchReporter {
    Q_OBJECT
  public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Called on the window's thread.
    void setStatus(const std::string& text) override;
    void showMessage(const std::string& text) override;

    // Opens the folder of the first file with those of the files that are its ".mpo" files
    // selected; the others are named in one message. As for files given on the command line or
    // dropped on the window.
    void openFiles(const QStringList& paths);

    bool isBatchRunning() const { return batchThread_ != nullptr; }
    // Asks a running batch to stop once the file being split is done.
    void stopBatch();

    static const QString idleText;
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
    double fontScale() const;
    void placeControls();
    void fitControlsToSize();
    void rememberSize() const;
    void onDriveChanged();
    void onVolumesRefreshed();
    void onDirChanged(const QString& path);
    void goBackToLastGoodPlace();
    void onGo();
    void onBatchDone();
    void setBusy(bool busy);

    DriveList* Drive1;
    DirList* Dir1;
    FileList* File1;
    QPushButton* cmbGo;
    QLabel* lblMain;
    QCheckBox* chk1;

    // Where the fixed layout puts each control, in the order of `controls()`, and its size.
    std::array<QRect, 6> layout_;
    QSize layoutSize_;

    // The last drive and folder that could be read, to go back to after one that cannot.
    QString goodDrive_;
    QString goodPath_;
    bool goingBack_ = false;

    // The running batch's thread and what it shares with the window.
    QThread* batchThread_ = nullptr;
    std::unique_ptr<BatchRelay> relay_;
    twinframe::BatchResult batchResult_;
    std::atomic<bool> speedHack_ = false;
    std::atomic<bool> stopRequested_ = false;
    bool closeWhenStopped_ = false;
    bool closing_ = false; // messages of a batch that outlives the window are not shown
};
