#include "frmMain.h"

#include "DirList.h"
#include "DriveList.h"
#include "FileList.h"
#include "failure.h"
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
#include <QMutex>
#include <QPushButton>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QSettings>
#include <QThread>

#include <algorithm>
#include <filesystem>

const QString frmMain::idleText = QStringLiteral("twinframe.example.org");

namespace {

// The one thing the window remembers between runs, in Qt's usual settings place.
const QString sizeKey = QStringLiteral("window/size");

std::filesystem::path nativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// Why a folder cannot be listed, or no error when it can.
std::error_code folderProblem(const QString& path) {
    std::error_code error;
    std::filesystem::directory_iterator probe(nativePath(path), error);
    return error;
}

// Whether the file list would show the file: a visible plain file named "*.mpo" in any case.
bool isListable(const QFileInfo& file) {
    return file.isFile() && !file.isHidden() &&
           file.fileName().endsWith(QStringLiteral(".mpo"), Qt::CaseInsensitive);
}

// A message box with OK only and no icon, titled with the program's name, and wide enough to show
// that title whole beside the title bar's buttons, however short its text.
class TitledMessageBox : public QMessageBox {
  public:
    TitledMessageBox(const QString& text, QWidget* parent)
        : QMessageBox(QMessageBox::NoIcon, twinframe::kProductName, text, QMessageBox::Ok, parent) {
        button(QMessageBox::Ok)->setIcon(QIcon());
    }

    // Title bars are usually drawn in a bold font, and hold the window's icon and three buttons
    // of about a line and a half square each, with some space around them.
    static int widthForTitle(const QString& title, const QFont& font) {
        QFont bold = font;
        bold.setBold(true);
        return QFontMetrics(bold).horizontalAdvance(title) + 7 * QFontMetrics(font).height();
    }

  protected:
    // QMessageBox sets its own fixed size from its text as it is shown, and again later as its
    // layout settles.
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        widenForTitle();
    }
    void resizeEvent(QResizeEvent* event) override {
        QMessageBox::resizeEvent(event);
        widenForTitle();
    }

  private:
    void widenForTitle() {
        const int wanted = widthForTitle(windowTitle(), font());
        if (width() < wanted)
            setFixedWidth(wanted);
    }
};

} // namespace

// Reports the batch from its own thread to the window. Status texts come far faster than a
// screen shows them: the window is sent the latest one, with at most one on its way, so texts
// show in order, the last one always, and the window's queue is never flooded. A message waits
// until the window's box is answered, as the batch expects.
class BatchRelay : public twinframe::BatchReporter {
  public:
    explicit BatchRelay(frmMain* window) : window_(window) {}

    void setStatus(const std::string& text) override {
        const QMutexLocker lock(&mutex_);
        latestStatus_ = text;
        if (statusOnItsWay_)
            return;
        statusOnItsWay_ = true;
        QMetaObject::invokeMethod(
            window_, [this] { deliverStatus(); }, Qt::QueuedConnection);
    }

    void showMessage(const std::string& text) override {
        QMetaObject::invokeMethod(
            window_, [window = window_, &text] { window->showMessage(text); },
            Qt::BlockingQueuedConnection);
    }

  private:
    // On the window's thread, which deletes the relay only once it has handled the end of the
    // batch's thread, and so everything queued before it.
    void deliverStatus() {
        std::string text;
        {
            const QMutexLocker lock(&mutex_);
            text.swap(latestStatus_);
            statusOnItsWay_ = false;
        }
        window_->setStatus(text);
    }

    frmMain* window_;
    QMutex mutex_;
    std::string latestStatus_;
    bool statusOnItsWay_ = false;
};

frmMain::frmMain(QWidget* parent)
    : QWidget(parent), Drive1(new DriveList(this)), Dir1(new DirList(this)),
      File1(new FileList(this)), cmbGo(new QPushButton(tr("GO!"), this)),
      lblMain(new QLabel(idleText, this)), chk1(new QCheckBox(tr("Multi-file speed hack"), this)) {
    setWindowTitle(twinframe::kProductName);
    setAcceptDrops(true);
    Drive1->setObjectName("Drive1");
    Dir1->setObjectName("Dir1");
    File1->setObjectName("File1");
    cmbGo->setObjectName("cmbGo");
    lblMain->setObjectName("lblMain");
    chk1->setObjectName("chk1");
    chk1->setToolTip(
        tr("Finds each file's second image faster in a batch from one camera, by starting where "
           "the last stereo file's was found; leave it off for files from different cameras, "
           "whose small files it may take for too small."));
    placeControls();
    resize(QSettings().value(sizeKey).toSize().expandedTo(layoutSize_));
    fitControlsToSize();

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
    connect(chk1, &QCheckBox::toggled, this, [this](bool checked) { speedHack_ = checked; });
    cmbGo->installEventFilter(this);
    Dir1->setPath(Drive1->drive(), start);
}

frmMain::~frmMain() {
    rememberSize();
    if (batchThread_ == nullptr)
        return;
    // The batch uses this window until it ends: stop it, letting through (unshown) whatever it
    // is waiting to report meanwhile.
    closing_ = true;
    stopRequested_ = true;
    disconnect(batchThread_, nullptr, this, nullptr); // no unlocking of a window being destroyed
    while (!batchThread_->wait(20))
        QCoreApplication::processEvents();
    delete batchThread_;
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
    const auto twips = [&px](int left, int top, int width, int height) {
        return QRect(px(left), px(top), px(width), px(height));
    };
    layoutSize_ = QSize(px(5055), px(3975));
    const QRect fileColumn = twips(2640, 120, 2295, 2820);
    // The layout leaves the check box room for its caption in a small font only: where the
    // desktop's font is larger, let it grow within the file list's column rather than cut it.
    QRect check = twips(2880, 3000, 1935, 255);
    const int checkWidth = std::clamp(chk1->sizeHint().width(), check.width(), fileColumn.width());
    check.setLeft(std::min(check.x(), fileColumn.right() + 1 - checkWidth));
    check.setWidth(checkWidth);
    layout_ = {twips(120, 120, 2415, 315),   twips(120, 600, 2415, 2340), fileColumn,
               twips(2640, 3360, 2295, 495), twips(120, 3360, 2415, 255), check};
    setMinimumSize(layoutSize_); // which makes a smaller window larger
    fitControlsToSize();
    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, File1);
    setTabOrder(File1, cmbGo);
    setTabOrder(cmbGo, chk1);
}

// At the layout's size every control is where the layout puts it. A larger window gives the
// room it adds to the three lists, half of its width to each column; the button, the check box
// and the status line stay where they were under the lists, and as wide as their column.
void frmMain::fitControlsToSize() {
    const int wider = std::max(0, width() - layoutSize_.width());
    const int taller = std::max(0, height() - layoutSize_.height());
    const int left = wider / 2;
    const int right = wider - left;
    const auto [drive, dirs, files, go, status, check] = layout_;
    Drive1->setGeometry(drive.adjusted(0, 0, left, 0));
    Dir1->setGeometry(dirs.adjusted(0, 0, left, taller));
    lblMain->setGeometry(status.translated(0, taller).adjusted(0, 0, left, 0));
    File1->setGeometry(files.translated(left, 0).adjusted(0, 0, right, taller));
    cmbGo->setGeometry(go.translated(left, taller).adjusted(0, 0, right, 0));
    chk1->setGeometry(check.translated(left, taller));
}

void frmMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    fitControlsToSize();
}

void frmMain::rememberSize() const {
    QSettings().setValue(sizeKey,
                         isMaximized() || isFullScreen() ? normalGeometry().size() : size());
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

void frmMain::setBusy(bool busy) {
    for (QWidget* control : {static_cast<QWidget*>(cmbGo), static_cast<QWidget*>(File1),
                             static_cast<QWidget*>(Dir1), static_cast<QWidget*>(Drive1)})
        control->setEnabled(!busy);
    if (busy)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void frmMain::onGo() {
    if (batchThread_ != nullptr)
        return;
    setBusy(true);
    stopRequested_ = false;
    speedHack_ = chk1->isChecked();
    closeWhenStopped_ = false;
    Dir1->setWatching(false);
    relay_ = std::make_unique<BatchRelay>(this);
    batchThread_ =
        QThread::create([this, entries = File1->entries(), folder = nativePath(Dir1->path())] {
            batchResult_ = twinframe::runBatch(
                entries, folder, [this] { return speedHack_.load(); }, *relay_,
                [this] { return stopRequested_.load(); });
        });
    connect(batchThread_, &QThread::finished, this, &frmMain::onBatchDone);
    batchThread_->start();
}

void frmMain::onBatchDone() {
    batchThread_->deleteLater();
    batchThread_ = nullptr;
    relay_.reset();
    lblMain->setText(idleText);
    setBusy(false);
    Dir1->setWatching(true);
    // The file list follows its folder, selection kept; make sure it is up to date at once.
    File1->refresh();
    if (closeWhenStopped_) {
        emit batchFinished();
        close();
        return;
    }
    if (batchResult_.selectedCount > 0)
        showMessage(twinframe::summaryText(batchResult_));
    emit batchFinished();
}

void frmMain::stopBatch() {
    if (batchThread_ != nullptr)
        stopRequested_ = true;
}

void frmMain::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && batchThread_ != nullptr) {
        stopBatch();
        return;
    }
    QWidget::keyPressEvent(event);
}

// Closing during a batch stops it after the file being split, and closes the window then.
void frmMain::closeEvent(QCloseEvent* event) {
    if (batchThread_ == nullptr) {
        QWidget::closeEvent(event);
        return;
    }
    closeWhenStopped_ = true;
    stopBatch();
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
    if (batchThread_ == nullptr && !localFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event) {
    const QStringList paths = localFiles(event->mimeData());
    if (batchThread_ != nullptr || paths.isEmpty())
        return;
    event->acceptProposedAction();
    openFiles(paths);
}

void frmMain::openFiles(const QStringList& paths) {
    if (paths.isEmpty() || batchThread_ != nullptr)
        return;
    const QString folder = QFileInfo(QFileInfo(paths.first()).absoluteFilePath()).path();
    if (const std::error_code error = folderProblem(folder)) {
        showMessage(
            twinframe::describeFailure("Cannot open folder", nativePath(folder).string(), error));
        return;
    }
    QStringList selected;
    QStringList others;
    for (const QString& path : paths) {
        const QFileInfo file(path);
        if (QFileInfo(file.absoluteFilePath()).path() == folder && isListable(file))
            selected << file.fileName();
        else
            others << QDir::toNativeSeparators(path);
    }
    {
        const QSignalBlocker quietDrive(Drive1);
        Drive1->setDriveHolding(folder);
    }
    Dir1->setPath(Drive1->drive(), folder);
    File1->selectNames(selected);
    if (!others.isEmpty())
        showMessage(("Not selected, not an .mpo file in " + nativePath(folder).string() + ":\r" +
                     others.join('\r').toStdString()));
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
    TitledMessageBox box(shown, this);
    box.exec();
}
