#include "frmMain.h"

#include "DirList.h"
#include "DriveList.h"
#include "FileList.h"
#include "failure.h"
#include "runBatch.h"
#include "version.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
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
      lblMain(new QLabel(idleText, this)), chk1(new QCheckBox(tr("Multi-file speed hack"), this)) {
    setWindowTitle(twinframe::kProductName);
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
    connect(cmbGo, &QPushButton::clicked, this, &frmMain::onGo);
    Dir1->setPath(Drive1->drive(), start);
}

// The layout is fixed and given in twips, 1440 to the logical inch, so it scales with the
// screen's dpi.
void frmMain::placeControls() {
    const double pixelsPerTwip = logicalDpiX() / 1440.0;
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

void frmMain::onDriveChanged() {
    Dir1->setPath(Drive1->drive(), Drive1->drive());
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
// folder above it that still can.
void frmMain::goBackToLastGoodPlace() {
    QString path = goodPath_;
    while (folderProblem(path) && path != QDir::rootPath())
        path = QFileInfo(path).path();
    const QScopedValueRollback goingBack(goingBack_, true);
    const QSignalBlocker quietDrive(Drive1);
    Drive1->setCurrentText(goodDrive_);
    Dir1->setPath(goodDrive_, path);
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
    setBusy(true);
    const twinframe::BatchResult result = twinframe::runBatch(
        File1->entries(), nativePath(Dir1->path()), [this] { return chk1->isChecked(); }, *this);
    lblMain->setText(idleText);
    setBusy(false);
    File1->refresh();
    if (result.selectedCount > 0)
        showMessage(twinframe::summaryText(result));
}

void frmMain::setStatus(const std::string& text) {
    lblMain->setText(QString::fromStdString(text));
    // The batch does not return to the event loop until it is done, so paint now.
    lblMain->repaint();
}

void frmMain::showMessage(const std::string& text) {
    // The summary separates its lines with a carriage return; Qt breaks lines at a line feed.
    const QString shown = QString::fromStdString(text).replace('\r', '\n');
    QMessageBox box(QMessageBox::NoIcon, twinframe::kProductName, shown, QMessageBox::Ok, this);
    box.button(QMessageBox::Ok)->setIcon(QIcon());
    box.exec();
}
