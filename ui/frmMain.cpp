#include "frmMain.h"

#include "DirList.h"
#include "DriveList.h"
#include "FileList.h"
#include "fileArguments.h"
#include "platform/failure.h"
#include "platform/fileSystem.h"
#include "twipsLayout.h"
#include "version.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <filesystem>

const QString frmMain::idleText = QStringLiteral("twinframe.example.org");
const QString frmMain::desktopFileName = QStringLiteral("org.example.Twinframe");

namespace {

// The one thing the window remembers between runs, in Qt's usual settings place.
const QString sizeKey = QStringLiteral("window/size");

std::filesystem::path nativePath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString qtPath(const std::filesystem::path& path) {
    return QFile::decodeName(path.c_str());
}

std::error_code folderProblem(const QString& path) {
    return twinframe::folderProblem(nativePath(path));
}

// A message box with OK only and no icon, titled with the program's name, and wide enough to show
// that title whole beside the title bar's buttons, however short its text.
// Escape, or the box's own close button, answers it as OK does, and tells the batch to stop.
class TitledMessageBox : public QMessageBox {
  public:
    TitledMessageBox(const QString& text, QWidget* parent)
        : QMessageBox(QMessageBox::NoIcon, twinframe::kProductName, text, QMessageBox::Ok, parent) {
        button(QMessageBox::Ok)->setIcon(QIcon());
    }

    twinframe::BoxAnswer answer() const { return answer_; }
    // Answers the box as Escape does.
    void answerStop() {
        answer_ = twinframe::BoxAnswer::stop;
        reject();
    }

    // Title bars are usually drawn in a bold font, the desktop's title font where it names one
    // (which may be larger than the window's), and hold the window's icon and three buttons of
    // about a line and a half square each, with some space around them.
    static int widthForTitle(const QString& title, const QFont& font) {
        int widest = 0;
        for (QFont titleFont : {font, QFontDatabase::systemFont(QFontDatabase::TitleFont)}) {
            titleFont.setBold(true);
            const QFontMetrics metrics(titleFont);
            widest = std::max(widest, metrics.horizontalAdvance(title) + 8 * metrics.height());
        }
        return std::max(widest, QFontMetrics(font).horizontalAdvance(title) +
                                    8 * QFontMetrics(font).height());
    }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->matches(QKeySequence::Cancel))
            answer_ = twinframe::BoxAnswer::stop;
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        answer_ = twinframe::BoxAnswer::stop;
        QMessageBox::closeEvent(event);
    }

    // QMessageBox sets its own fixed size from its text as it is shown, and again later as its
    // layout settles.
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        widenForTitle();
        placeOverParent();
    }
    void resizeEvent(QResizeEvent* event) override {
        QMessageBox::resizeEvent(event);
        widenForTitle();
    }

  private:
    // Centred over the window, on its screen, every time, before the box is on screen. Where the
    // window is comes from the window system itself: just after a window is shown, the window
    // manager may have placed it without the window having heard yet, and a box centred on what
    // the window believes would land at the screen's top left.
    void placeOverParent() {
        const QWidget* over = parentWidget();
        if (over == nullptr)
            return;
        const QPoint centre = over->mapToGlobal(over->rect().center());
        QRect placed(QPoint(), size());
        placed.moveCenter(centre);
        if (const QScreen* screen = QGuiApplication::screenAt(centre)) {
            const QRect room = screen->availableGeometry();
            placed.moveLeft(std::clamp(placed.left(), room.left(),
                                       std::max(room.left(), room.right() + 1 - placed.width())));
            placed.moveTop(std::clamp(placed.top(), room.top(),
                                      std::max(room.top(), room.bottom() + 1 - placed.height())));
        }
        move(placed.topLeft());
    }

    void widenForTitle() {
        const int wanted = widthForTitle(windowTitle(), font());
        if (width() < wanted)
            setFixedWidth(wanted);
    }

    twinframe::BoxAnswer answer_ = twinframe::BoxAnswer::ok;
};

} // namespace

frmMain::frmMain(QWidget* parent)
    : QWidget(parent), Drive1(new DriveList(this)), Dir1(new DirList(this)),
      File1(new FileList(this)), cmbGo(new QPushButton(tr("GO!"), this)),
      lblMain(new QLabel(idleText, this)), chk1(new QCheckBox(tr("Multi-file speed hack"), this)),
      launcher_(desktopFileName),
      batch_(std::make_unique<twinframe::BatchCommand>(static_cast<BatchWindow&>(*this))) {
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
    resize(QSettings().value(sizeKey).toSize().boundedTo(roomOnScreen()).expandedTo(layoutSize_));
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
    connect(chk1, &QCheckBox::toggled, this,
            [this](bool checked) { batch_->setSpeedHack(checked); });
    // Sees every event first: for blocksWhileABoxShows, and for Return on cmbGo.
    qApp->installEventFilter(this);
    Dir1->setPath(Drive1->drive(), start);
}

// A batch still running uses this window until it ends: the command stops it and lets through,
// unshown, whatever it is waiting to report meanwhile.
frmMain::~frmMain() {
    qApp->removeEventFilter(this);
    rememberSize();
    closing_ = true;
    batch_.reset();
}

// The fixed layout the windows share, in twips, at this window's dpi and font.
void frmMain::placeControls() {
    const QFontMetrics metrics(font());
    const twinframe::TwipsScale scale(logicalDpiX(), logicalDpiY(), metrics.averageCharWidth(),
                                      metrics.height());
    const twinframe::WindowLayout layout = twinframe::windowLayout(scale, chk1->sizeHint().width());
    const auto rect = [](const twinframe::PixelRect& r) {
        return QRect(r.left, r.top, r.width, r.height);
    };
    layoutSize_ = QSize(layout.width, layout.height);
    layout_ = {rect(layout.Drive1), rect(layout.Dir1),    rect(layout.File1),
               rect(layout.cmbGo),  rect(layout.lblMain), rect(layout.chk1)};
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

// The largest the window can be on its screen with its frame and title bar, which a size
// remembered from a larger screen is held to, so that GO! is never out of reach.
QSize frmMain::roomOnScreen() const {
    const QScreen* shownOn = screen();
    if (shownOn == nullptr)
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int titleBar = std::max(style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this),
                                  2 * QFontMetrics(font()).height());
    return shownOn->availableGeometry().size() - QSize(4 * frame, titleBar + 4 * frame);
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
        showMessageBox(twinframe::describeFailure("Cannot open folder",
                                                  nativePath(goodPath_).string(), error));
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
        showMessageBox(
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
    const QString path = qtPath(twinframe::nearestReadableFolder(nativePath(goodPath_)));
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

// The file list follows its folder, selection kept; make sure it is up to date at once. A folder
// that went during the batch (a card taken out), which the batch has said, is not said again:
// the lists move to the nearest folder that is there, on whichever drive is still there.
void frmMain::refreshFileList() {
    if (folderProblem(Dir1->path())) {
        Drive1->readVolumes();
        goBackToLastGoodPlace();
        return;
    }
    File1->refresh();
}

void frmMain::showProgress(std::int64_t done, std::int64_t total) {
    launcher_.show(done, total);
}

void frmMain::batchEnded(bool closeNow) {
    launcher_.clear();
    // The controls that had the focus were disabled meanwhile, which moved it on (to the check
    // box, where the next Space would tick it): give it back to the one GO! was pressed from.
    if (focusBeforeBatch_ != nullptr && !closeNow)
        focusBeforeBatch_->setFocus(Qt::OtherFocusReason);
    focusBeforeBatch_ = nullptr;
    emit batchFinished();
    if (closeNow)
        close();
}

void frmMain::postToWindow(std::function<void()> task) {
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

void frmMain::onGo() {
    if (batch_->running())
        return;
    focusBeforeBatch_ = focusWidget();
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

// Closing during a batch stops it after the file being split, and closes the window then. A box
// on show is answered as Escape answers it, so that the batch can get there.
void frmMain::closeEvent(QCloseEvent* event) {
    const bool closeNow = batch_->requestClose();
    if (auto* box = static_cast<TitledMessageBox*>(openBox_.data()))
        box->answerStop();
    if (closeNow)
        QWidget::closeEvent(event);
    else
        event->ignore();
}

// Return and Enter press the button, as Space does.
bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (blocksWhileABoxShows(watched, event) || isSpentStartKey(watched, event))
        return true;
    if (watched == windowHandle() && event->type() == QEvent::Expose && !filesWhenShown_.empty() &&
        windowHandle()->isExposed()) {
        // Once the expose is handled; a box opened from inside it would be painted blank.
        QTimer::singleShot(0, this, [this] { openFiles(std::exchange(filesWhenShown_, {})); });
        windowHandle()->removeEventFilter(this);
    }
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

// Before the window is on screen, the window system may not have placed it yet, and a box about
// the files would be centred on a window at the screen's top left.
void frmMain::openFilesWhenShown(const QStringList& paths) {
    if (paths.isEmpty())
        return;
    if (windowHandle() != nullptr && windowHandle()->isExposed()) {
        openFiles(paths);
        return;
    }
    filesWhenShown_ = paths;
    winId(); // makes the window's handle, to hear when it is exposed
    windowHandle()->installEventFilter(this);
}

void frmMain::openFiles(const QStringList& paths) {
    if (paths.isEmpty() || batch_->running())
        return;
    std::vector<std::filesystem::path> given;
    for (const QString& path : paths)
        given.push_back(nativePath(path));
    const twinframe::FilesToOpen files = twinframe::filesToOpen(given);
    if (files.folder) {
        const QString folder = qtPath(*files.folder);
        QStringList selected;
        for (const std::string& name : files.selected)
            selected << QString::fromStdString(name);
        {
            const QSignalBlocker quietDrive(Drive1);
            Drive1->setDriveHolding(folder);
        }
        Dir1->setPath(Drive1->drive(), folder);
        File1->selectNames(selected);
    }
    if (!files.message.empty())
        showMessageBox(files.message);
}

void frmMain::showStatus(const std::string& text) {
    lblMain->setText(QString::fromStdString(text));
    // Paint at once, so that each text that gets through from the batch's thread is seen.
    lblMain->repaint();
}

// The box holds whoever asked for it until it is answered, as a modal box does; but the window
// is not made modal-blocked by it, which would make the window system's close button and Alt+F4
// on the window do nothing: the window itself refuses all other input meanwhile
// (blocksWhileABoxShows), and closing it answers the box.
twinframe::BoxAnswer frmMain::showMessageBox(const std::string& text) {
    if (closing_)
        return twinframe::BoxAnswer::ok;
    // The summary separates its lines with a carriage return; Qt breaks lines at a line feed.
    const QString shown = QString::fromStdString(text).replace('\r', '\n');
    TitledMessageBox box(shown, this);
    box.setWindowModality(Qt::NonModal);
    const QPointer<QDialog> outer = openBox_;
    openBox_ = &box;
    QEventLoop answered;
    connect(&box, &QDialog::finished, &answered, &QEventLoop::quit);
    box.show();
    box.activateWindow();
    answered.exec(QEventLoop::DialogExec);
    openBox_ = outer;
    return box.answer();
}

// Return or Enter on GO! or in the file list starts a batch, but not when the key repeats by
// itself (held down), nor while it is the key that answered a box and has not been let go: the
// box closes as the key goes down, and the focus is back on GO! or the list while it is still
// down.
bool frmMain::isSpentStartKey(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
        return false;
    if (event->type() == QEvent::KeyRelease) {
        if (!key->isAutoRepeat() && key->key() == spentKey_)
            spentKey_ = 0;
        return false;
    }
    if (openBox_ != nullptr && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == openBox_) {
        spentKey_ = key->key();
        return false;
    }
    if (watched != cmbGo && watched != File1)
        return false;
    return key->isAutoRepeat() || key->key() == spentKey_;
}

// While a box shows, the window and its controls take no input from the user: it all goes to
// the box, as it would with a modal box. A click on the window brings the box back to the front.
bool frmMain::blocksWhileABoxShows(QObject* watched, QEvent* event) {
    if (openBox_ == nullptr || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this)
        return false;
    switch (event->type()) {
    case QEvent::WindowActivate:
        QTimer::singleShot(0, openBox_, [box = openBox_] {
            if (box != nullptr && box->isVisible() && !box->isActiveWindow()) {
                box->raise();
                box->activateWindow();
            }
        });
        return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}
