#include "frmMain.h"

#include "DirList.h"
#include "DriveList.h"
#include "FileList.h"
#include "failure.h"
#include "fileArguments.h"
#include "fileSystem.h"
#include "version.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScopedValueRollback>

#include <algorithm>
#include <filesystem>

const QString frmMain::idleText = QStringLiteral("twinframe.example.org");

namespace {

std::filesystem::path nativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// Why a folder cannot be listed, or no error when it can.
std::error_code folderProblem(const QString& path) {
    std::error_code error;
    std::filesystem::directory_iterator probe(nativePath(path), error);
    return error;
}

} // namespace

frmMain::frmMain(QWidget* parent)
    : QWidget(parent), Drive1(new DriveList(this)), Dir1(new DirList(this)),
      File1(new FileList(this)), cmbGo(new QPushButton(tr("GO!"), this)),
      lblMain(new QLabel(idleText, this)), chk1(new QCheckBox(tr("Multi-file speed hack"), this)),
      batch_(std::make_unique<twinframe::BatchCommand>(static_cast<BatchWindow&>(*this))) {
    setWindowTitle(twinframe::kProductName);
    setAcceptDrops(true);
    Drive1->setObjectName("Drive1");
    Dir1->setObjectName("Dir1");
    File1->setObjectName("File1");
    cmbGo->setObjectName("cmbGo");
    lblMain->setObjectName("lblMain");
    chk1->setObjectName("chk1");
    placeControls();

    const QString start = QDir::currentPath();
    Drive1->setVolumes(DriveList::mountedVolumes());
    Drive1->setDriveHolding(start);
    goodDrive_ = Drive1->drive();
    goodPath_ = start;
    connect(Dir1, &DirList::pathChanged, this, &frmMain::onDirChanged);
    connect(Drive1, &QComboBox::currentIndexChanged, this, &frmMain::onDriveChanged);
    connect(Drive1, &DriveList::volumesRefreshed, this, &frmMain::onVolumesRefreshed);
    connect(cmbGo, &QPushButton::clicked, this, &frmMain::onGo);
    connect(File1, &FileList::startRequested, cmbGo, &QPushButton::click);
    // The batch asks before each file; the box is only ever read on the window's thread.
    connect(chk1, &QCheckBox::toggled, this,
            [this](bool checked) { batch_->setSpeedHack(checked); });
    cmbGo->installEventFilter(this);
    Dir1->setPath(Drive1->drive(), start);
}

// A batch still running uses this window until it ends: the command stops it and lets through,
// unshown, whatever it is waiting to report meanwhile.
frmMain::~frmMain() {
    closing_ = true;
    batch_.reset();
}

// The layout is fixed and given in twips, 1440 to the logical inch, so it scales with the
// screen's dpi; and, as dialog units do, with the window's font, so that a larger desktop font
// enlarges the grid instead of cutting captions. The twips were laid out for an 8 pt dialog font
// whose character cell is 6 pixels wide on average and 13 high at 96 dpi; the grid grows with
// whichever of the two grows more, and a smaller font keeps it as it is.
double frmMain::fontScale() const {
    const QFontMetrics metrics(font());
    const double pixelsPerPoint = logicalDpiY() / 72.0;
    const double referenceHeight = 13.0 / 96.0 * 72.0 * pixelsPerPoint;
    const double referenceWidth = 6.0 / 96.0 * 72.0 * pixelsPerPoint;
    return std::max(
        {1.0, metrics.height() / referenceHeight, metrics.averageCharWidth() / referenceWidth});
}

void frmMain::placeControls() {
    const double pixelsPerTwip = logicalDpiX() / 1440.0 * fontScale();
    const auto px = [pixelsPerTwip](int twips) { return qRound(twips * pixelsPerTwip); };
    const auto place = [&px](QWidget* control, int left, int top, int width, int height) {
        control->setGeometry(px(left), px(top), px(width), px(height));
    };
    setFixedSize(px(5055), px(3975));
    place(Drive1, 120, 120, 2415, 315);
    place(Dir1, 120, 600, 2415, 2340);
    place(File1, 2640, 120, 2295, 2820);
    place(cmbGo, 2640, 3360, 2295, 495);
    place(lblMain, 120, 3360, 2415, 255);
    place(chk1, 2880, 3000, 1935, 255);
    // The layout leaves the check box room for its caption in a small font only: where the
    // desktop's font is larger, let it grow within the file list's column rather than cut it.
    const QRect column = File1->geometry();
    const int width = std::clamp(chk1->sizeHint().width(), chk1->width(), column.width());
    const int left = std::min(chk1->x(), column.right() + 1 - width);
    chk1->setGeometry(left, chk1->y(), width, chk1->height());
    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, File1);
    setTabOrder(File1, cmbGo);
    setTabOrder(cmbGo, chk1);
}

void frmMain::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        placeControls();
}

void frmMain::onDriveChanged() {
    Dir1->setPath(Drive1->drive(), Drive1->drive());
}

// A drive that went away while it was open is treated as one that cannot be read.
void frmMain::onVolumesRefreshed() {
    if (Drive1->volumes().contains(goodDrive_))
        return;
    if (const std::error_code error = folderProblem(goodPath_)) {
        showMessage(twinframe::describeFailure("Cannot open folder", nativePath(goodPath_).string(),
                                               error));
        goBackToLastGoodPlace();
        return;
    }
    // The folder is still there, on whichever listed drive holds it now.
    const QSignalBlocker quietDrive(Drive1);
    Drive1->setDriveHolding(goodPath_);
    goodDrive_ = Drive1->drive();
    Dir1->setPath(goodDrive_, goodPath_);
}

void frmMain::onDirChanged(const QString& path) {
    const std::error_code error = folderProblem(path);
    if (error && !goingBack_) {
        showMessage(
            twinframe::describeFailure("Cannot open folder", nativePath(path).string(), error));
        goBackToLastGoodPlace();
        return;
    }
    goodDrive_ = Drive1->drive();
    goodPath_ = path;
    File1->setPath(path);
}

// Back to the last folder that could be read, or, should it have gone meanwhile, the nearest
// folder above it that still can, on its drive, or on the listed drive that holds it should that
// drive have gone too.
void frmMain::goBackToLastGoodPlace() {
    QString path = goodPath_;
    while (folderProblem(path) && path != QDir::rootPath())
        path = QFileInfo(path).path();
    const QScopedValueRollback goingBack(goingBack_, true);
    const QSignalBlocker quietDrive(Drive1);
    if (Drive1->volumes().contains(goodDrive_))
        Drive1->setCurrentText(goodDrive_);
    else
        Drive1->setDriveHolding(path);
    Dir1->setPath(Drive1->drive(), path);
    goodDrive_ = Drive1->drive();
    goodPath_ = path;
    File1->setPath(path);
}

void frmMain::setControlsLocked(bool locked) {
    for (QWidget* control : {static_cast<QWidget*>(cmbGo), static_cast<QWidget*>(File1),
                             static_cast<QWidget*>(Dir1), static_cast<QWidget*>(Drive1)})
        control->setEnabled(!locked);
    // The folder tree stops following its folder while the batch writes into it.
    Dir1->setWatching(!locked);
}

void frmMain::setWaitCursor(bool waiting) {
    if (waiting)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void frmMain::showIdleText() {
    lblMain->setText(idleText);
}

// The file list follows its folder, selection kept; make sure it is up to date at once.
void frmMain::refreshFileList() {
    File1->refresh();
}

void frmMain::batchEnded(bool closeNow) {
    emit batchFinished();
    if (closeNow)
        close();
}

void frmMain::postToWindow(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void frmMain::onGo() {
    batch_->start(File1->entries(), nativePath(Dir1->path()), chk1->isChecked());
}

void frmMain::stopBatch() {
    batch_->stop();
}

void frmMain::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && batch_->running()) {
        stopBatch();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Closing during a batch stops it after the file being split, and closes the window then.
void frmMain::closeEvent(QCloseEvent* event) {
    if (batch_->requestClose())
        QWidget::closeEvent(event);
    else
        event->ignore();
}

// Return and Enter press the button, as Space does.
bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == cmbGo && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            cmbGo->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

namespace {

QStringList localFiles(const QMimeData* data) {
    QStringList paths;
    if (data != nullptr && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                paths << url.toLocalFile();
    return paths;
}

} // namespace

void frmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!batch_->running() && !localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event) {
    const QStringList paths = localFiles(event->mimeData());
    if (batch_->running() || paths.isEmpty())
        return;
    event->acceptProposedAction();
    openFiles(paths);
}

void frmMain::openFiles(const QStringList& paths) {
    if (paths.isEmpty() || batch_->running())
        return;
    std::vector<std::filesystem::path> given;
    for (const QString& path : paths)
        given.push_back(nativePath(path));
    const twinframe::FileArguments arguments = twinframe::sortFileArguments(given);
    const QString folder = QFile::decodeName(arguments.folder.c_str());
    if (const std::error_code error = folderProblem(folder)) {
        showMessage(twinframe::describeFailure("Cannot open folder",
                                               twinframe::utf8Text(arguments.folder), error));
        return;
    }
    QStringList selected;
    for (const std::string& name : arguments.selected)
        selected << QString::fromStdString(name);
    {
        const QSignalBlocker quietDrive(Drive1);
        Drive1->setDriveHolding(folder);
    }
    Dir1->setPath(Drive1->drive(), folder);
    File1->selectNames(selected);
    if (!arguments.allSelected())
        showMessage(twinframe::fileArgumentsMessage(arguments));
}

void frmMain::setStatus(const std::string& text) {
    lblMain->setText(QString::fromStdString(text));
    // Paint at once, so that each text that gets through from the batch's thread is seen.
    lblMain->repaint();
}

void frmMain::showMessage(const std::string& text) {
    if (closing_)
        return;
    // The summary separates its lines with a carriage return; Qt breaks lines at a line feed.
    const QString shown = QString::fromStdString(text).replace('\r', '\n');
    QMessageBox box(QMessageBox::NoIcon, twinframe::kProductName, shown, QMessageBox::Ok, this);
    box.button(QMessageBox::Ok)->setIcon(QIcon());
    box.exec();
}
