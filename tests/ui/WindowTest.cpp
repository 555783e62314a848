#include "DirList.h"
#include "DriveList.h"
#include "FileList.h"
#include "MpoBuilder.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QFileSystemModel>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <sys/stat.h>

using namespace twinframe::test;

namespace {

// What the user saw in one message box, and what the window looked like behind it.
struct SeenBox {
    QString title;
    QString text;
    bool hasIcon = true;
    QStringList buttons;
    bool okHasIcon = true;
    QList<bool> enabled; // cmbGo, File1, Dir1, Drive1, chk1
    bool busyPointer = false;
};

// Answers every modal message box with OK, as a user would, noting what it showed.
class BoxAnswerer : public QObject {
  public:
    // beforeAnswer, when given, runs while each box is on show, before it is answered.
    explicit BoxAnswerer(QWidget* window, std::function<void(const SeenBox&)> beforeAnswer = {})
        : window_(window), beforeAnswer_(std::move(beforeAnswer)) {
        connect(&timer_, &QTimer::timeout, this, &BoxAnswerer::answer);
        timer_.start(10);
    }

    QList<SeenBox> seen;

  private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        SeenBox s;
        s.title = box->windowTitle();
        s.text = box->text();
        s.hasIcon = box->icon() != QMessageBox::NoIcon || !box->iconPixmap().isNull();
        for (QAbstractButton* button : box->buttons())
            s.buttons << button->text().remove('&');
        s.okHasIcon = !box->button(QMessageBox::Ok)->icon().isNull();
        for (const char* name : {"cmbGo", "File1", "Dir1", "Drive1", "chk1"})
            s.enabled << window_->findChild<QWidget*>(name)->isEnabled();
        s.busyPointer = window_->cursor().shape() == Qt::WaitCursor;
        seen << s;
        if (beforeAnswer_)
            beforeAnswer_(s);
        box->button(QMessageBox::Ok)->click();
    }

    QWidget* window_;
    std::function<void(const SeenBox&)> beforeAnswer_;
    QTimer timer_;
};

// Records the text of the status label each time it is really painted.
class PaintLog : public QObject {
  public:
    QStringList painted;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted << static_cast<QLabel*>(watched)->text();
        return false;
    }
};

QStringList listed(const FileList* list) {
    return list->names();
}

// Selects names once the list shows them all.
void select(FileList* list, const QStringList& names) {
    QTRY_VERIFY(std::all_of(names.begin(), names.end(),
                            [list](const QString& name) { return list->names().contains(name); }));
    list->selectNames(names);
}

// Presses "GO!" and waits for the batch to end, summary answered.
bool goAndWait(frmMain* window, QPushButton* go) {
    QSignalSpy finished(window, &frmMain::batchFinished);
    QTest::mouseClick(go, Qt::LeftButton);
    return finished.wait(20'000);
}

QString qPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// count small stereo files f000.mpo, f001.mpo, ... of size bytes each; returns their names.
QStringList writeStereoFiles(const TempDir& dir, int count, std::size_t size) {
    QStringList names;
    for (int i = 0; i < count; ++i) {
        names << QString("f%1.mpo").arg(i, 3, 10, QChar('0'));
        writeBytes(dir / names.back().toStdString(), mpoWithImagesAt(size, {0, size / 2}));
    }
    return names;
}

// b.mpo draws a message; what happens while it is on show decides the rest.
struct ThreeFiles {
    explicit ThreeFiles(const TempDir& dir) {
        writeBytes(dir / "a.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
        writeBytes(dir / "b.mpo", jpegLike(3'000, 0xE0));
        writeBytes(dir / "c.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
    }
    const QStringList names{"a.mpo", "b.mpo", "c.mpo"};
    const std::vector<std::string> afterStop{"a-L.jpg", "a-R.jpg", "a.mpo", "b.mpo", "c.mpo"};
};

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

  private:
    // A window opened in a folder of its own, as if the program were started there.
    struct Opened {
        explicit Opened(const TempDir& dir) {
            QDir::setCurrent(qPath(dir.path()));
            window = std::make_unique<frmMain>();
            window->show();
            files = window->findChild<FileList*>("File1");
            dirs = window->findChild<DirList*>("Dir1");
            drives = window->findChild<DriveList*>("Drive1");
            go = window->findChild<QPushButton*>("cmbGo");
            speedHack = window->findChild<QCheckBox*>("chk1");
            status = window->findChild<QLabel*>("lblMain");
        }
        std::unique_ptr<frmMain> window;
        FileList* files;
        DirList* dirs;
        DriveList* drives;
        QPushButton* go;
        QCheckBox* speedHack;
        QLabel* status;
    };

    QString startFolder_ = QDir::currentPath();
    QFont startFont_ = QApplication::font();

  private slots:
    void cleanup() {
        QDir::setCurrent(startFolder_);
        QApplication::setFont(startFont_);
    }

    void layoutFollowsTheFixedDesign() {
        TempDir dir;
        // In the font the twips were laid out for, the grid is the dpi's alone.
        QFont font = QApplication::font();
        font.setPointSize(8);
        QApplication::setFont(font);
        Opened w(dir);
        const double scale = w.window->logicalDpiX() / 1440.0;
        const auto px = [scale](int twips) { return qRound(twips * scale); };
        QCOMPARE(w.window->windowTitle(), QString("Twinframe"));
        QCOMPARE(w.window->size(), QSize(px(5055), px(3975)));
        QCOMPARE(w.window->minimumSize(), w.window->maximumSize());
        QCOMPARE(w.drives->geometry(), QRect(px(120), px(120), px(2415), px(315)));
        QCOMPARE(w.dirs->geometry(), QRect(px(120), px(600), px(2415), px(2340)));
        QCOMPARE(w.files->geometry(), QRect(px(2640), px(120), px(2295), px(2820)));
        QCOMPARE(w.go->geometry(), QRect(px(2640), px(3360), px(2295), px(495)));
        QCOMPARE(w.status->geometry(), QRect(px(120), px(3360), px(2415), px(255)));
        QCOMPARE(w.speedHack->y(), px(3000));
        QVERIFY(
            w.files->geometry().contains(QPoint(w.speedHack->geometry().right(), w.files->y())));
        QCOMPARE(w.go->text(), QString("GO!"));
        QCOMPARE(w.speedHack->text(), QString("Multi-file speed hack"));
        QVERIFY(!w.speedHack->isChecked());
        QCOMPARE(w.status->text(), frmMain::idleText);
        QCOMPARE(w.files->selectionMode(), QAbstractItemView::ExtendedSelection);

        QWidgetList chain;
        for (QWidget* next = w.drives; chain.size() < 5; next = next->nextInFocusChain())
            if (next->focusPolicy() & Qt::TabFocus && next->parentWidget() == w.window.get())
                chain << next;
        QCOMPARE(chain, (QWidgetList{w.drives, w.dirs, w.files, w.go, w.speedHack}));
    }

    void fileListShowsVisibleMpoFilesInAnyCase() {
        TempDir dir;
        for (const char* name : {"a.mpo", "B.MPO", "c.Mpo", "d.jpg", ".x.mpo", "f.mpo.txt"})
            writeBytes(dir / name, jpegLike(200));
        std::filesystem::create_directory(dir / "e.mpo");
        ::mkfifo((dir / "p.mpo").c_str(), 0644);
        std::filesystem::create_symlink(dir / "nowhere", dir / "dangling.mpo");
        Opened w(dir);
        QCOMPARE(w.dirs->path(), qPath(dir.path()));
        QTRY_COMPARE(listed(w.files), (QStringList{"a.mpo", "B.MPO", "c.Mpo"}));
    }

    void openingAFolderMovesTheFileList() {
        TempDir dir;
        std::filesystem::create_directory(dir / "sub");
        writeBytes(dir / "sub" / "x.mpo", jpegLike(200));
        writeBytes(dir / "top.mpo", jpegLike(200));
        Opened w(dir);
        QTRY_COMPARE(listed(w.files), QStringList{"top.mpo"});

        auto* model = static_cast<QFileSystemModel*>(w.dirs->model());
        const QModelIndex sub = model->index(qPath(dir / "sub"));
        QVERIFY(sub.isValid());
        w.dirs->selectionModel()->setCurrentIndex(sub, QItemSelectionModel::ClearAndSelect);
        QCOMPARE(w.dirs->path(), qPath(dir / "sub"));
        QTRY_COMPARE(listed(w.files), QStringList{"x.mpo"});
    }

    void pickingADriveMovesBothLists() {
        TempDir first;
        TempDir second;
        writeBytes(second / "on-b.mpo", jpegLike(200));
        std::filesystem::create_directory(second / "folder");
        Opened w(first);
        w.drives->setVolumes({qPath(first.path()), qPath(second.path())});
        w.drives->setCurrentIndex(1);
        QCOMPARE(w.dirs->root(), qPath(second.path()));
        QCOMPARE(w.dirs->path(), qPath(second.path()));
        QTRY_COMPARE(listed(w.files), QStringList{"on-b.mpo"});
        auto* model = static_cast<QFileSystemModel*>(w.dirs->model());
        QTRY_COMPARE(model->rowCount(w.dirs->rootIndex()), 1);
    }

    void folderThatCannotBeOpenedIsToldAndTheListsGoBack() {
        TempDir dir;
        writeBytes(dir / "here.mpo", jpegLike(200));
        Opened w(dir);
        BoxAnswerer answerer(w.window.get());
        const QString gone = qPath(dir / "gone");
        w.dirs->setPath(w.dirs->root(), gone);
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].text,
                 "Cannot open folder " + gone + ": No such file or directory");
        QCOMPARE(w.dirs->path(), qPath(dir.path()));
        QTRY_COMPARE(listed(w.files), QStringList{"here.mpo"});
    }

    void afterAFolderClickedCannotBeOpenedTheTreeShowsTheOpenOne() {
        TempDir dir;
        std::filesystem::create_directory(dir / "sub");
        Opened w(dir);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        auto* model = static_cast<QFileSystemModel*>(w.dirs->model());
        QTRY_VERIFY(!w.dirs->visualRect(model->index(qPath(dir / "sub"))).isEmpty());
        const QPoint sub = w.dirs->visualRect(model->index(qPath(dir / "sub"))).center();
        // The folder stays in the tree, as one that cannot be read would.
        model->setOption(QFileSystemModel::DontWatchForChanges);
        std::filesystem::remove(dir / "sub");
        BoxAnswerer answerer(w.window.get());
        QTest::mouseClick(w.dirs->viewport(), Qt::LeftButton, {}, sub);
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(w.dirs->path(), qPath(dir.path()));
        const auto selectedFolders = [&] {
            QStringList paths;
            for (const QModelIndex& row : w.dirs->selectionModel()->selectedRows())
                paths << model->filePath(row);
            return paths;
        };
        QTRY_COMPARE(selectedFolders(), QStringList{qPath(dir.path())});
        QCOMPARE(model->filePath(w.dirs->currentIndex()), qPath(dir.path()));
        // And on screen: the open folder's row is the highlighted one, the clicked one is not.
        const QColor highlight = w.dirs->palette().color(QPalette::Active, QPalette::Highlight);
        const auto highlighted = [&](int y) {
            const QImage shown = w.dirs->viewport()->grab().toImage();
            return shown.pixelColor(shown.width() * 9 / 10, y) == highlight;
        };
        const int openRow = w.dirs->visualRect(model->index(qPath(dir.path()))).center().y();
        QTRY_VERIFY(highlighted(openRow));
        QVERIFY(!highlighted(sub.y()));
    }

    void whenTheLastGoodFolderIsGoneTooTheListsGoUpFromIt() {
        TempDir dir;
        std::filesystem::create_directories(dir / "a" / "b");
        writeBytes(dir / "top.mpo", jpegLike(200));
        QDir::setCurrent(qPath(dir / "a" / "b"));
        Opened w(dir);
        w.dirs->setPath(w.dirs->root(), qPath(dir / "a" / "b"));
        QDir::setCurrent(qPath(dir.path()));
        std::filesystem::remove_all(dir / "a");
        BoxAnswerer answerer(w.window.get());
        w.dirs->setPath(w.dirs->root(), qPath(dir / "elsewhere"));
        QCOMPARE(answerer.seen.size(), 1); // one message, not one for each folder tried
        QCOMPARE(w.dirs->path(), qPath(dir.path()));
        QTRY_COMPARE(listed(w.files), QStringList{"top.mpo"});
    }

    void goSplitsTheSelectedFilesAndSumsUp() {
        TempDir dir;
        const Bytes pair = mpoWithImagesAt(10'000, {0, 5'000});
        writeBytes(dir / "a.mpo", pair);
        writeBytes(dir / "b.MPO", mpoWithImagesAt(9'000, {0, 3'000, 6'000}));
        writeBytes(dir / "c.mpo", jpegLike(3'000));
        std::filesystem::create_directory(dir / "c.jpg"); // c.mpo's output cannot be written
        writeBytes(dir / "skip.mpo", jpegLike(3'000));
        Opened w(dir);
        select(w.files, {"a.mpo", "b.MPO", "c.mpo"});
        BoxAnswerer answerer(w.window.get());
        QVERIFY(goAndWait(w.window.get(), w.go));

        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(answerer.seen[0].text, QString("Cannot write c.jpg: Is a directory"));
        const SeenBox& summary = answerer.seen[1];
        QCOMPARE(summary.text, QString("Files processed: 3\nTotal images: 5"));
        QCOMPARE(summary.title, QString("Twinframe"));
        QCOMPARE(summary.buttons, QStringList{"OK"});
        QVERIFY(!summary.hasIcon);
        QVERIFY(!summary.okHasIcon);
        QCOMPARE(readBytes(dir / "a-R.jpg"), slice(pair, 5'000, 9'999));
        QVERIFY(std::filesystem::exists(dir / "b-3.jpg"));
        QVERIFY(!std::filesystem::exists(dir / "skip.jpg"));
        // The list still shows only the ".mpo" files, with the selection as it was.
        QCOMPARE(listed(w.files), (QStringList{"a.mpo", "b.MPO", "c.mpo", "skip.mpo"}));
        QCOMPARE(w.files->selectedNames(), (QStringList{"a.mpo", "b.MPO", "c.mpo"}));
    }

    void windowIsLockedWhileABatchRunsAndFreedAfter() {
        TempDir dir;
        writeBytes(dir / "a.mpo", jpegLike(3'000));
        Opened w(dir);
        BoxAnswerer answerer(w.window.get());
        QVERIFY(goAndWait(w.window.get(), w.go));

        QCOMPARE(answerer.seen.size(), 1); // no summary after "No files selected"
        const SeenBox& box = answerer.seen[0];
        QCOMPARE(box.text, QString("No files selected"));
        QCOMPARE(box.enabled, (QList<bool>{false, false, false, false, true}));
        QVERIFY(box.busyPointer);

        for (QWidget* control : {static_cast<QWidget*>(w.go), static_cast<QWidget*>(w.files),
                                 static_cast<QWidget*>(w.dirs), static_cast<QWidget*>(w.drives)})
            QVERIFY(control->isEnabled());
        QCOMPARE(w.window->cursor().shape(), Qt::ArrowCursor);
        QCOMPARE(w.status->text(), frmMain::idleText);
    }

    void windowAnswersWhileABatchRunsAndPaintsItsStatusInOrder() {
        TempDir dir;
        const QStringList names = writeStereoFiles(dir, 200, 60'000);
        Opened w(dir);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        select(w.files, names);
        PaintLog log;
        w.status->installEventFilter(&log);
        int ticksDuringBatch = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this,
                [&] { ticksDuringBatch += w.window->isBatchRunning() ? 1 : 0; });
        ticker.start(1);
        BoxAnswerer answerer(w.window.get());
        QVERIFY(goAndWait(w.window.get(), w.go));

        QVERIFY(ticksDuringBatch > 0);
        // Texts come faster than a screen shows them, so some are passed over; those shown are
        // in the batch's order, and the last one is among them.
        QStringList expected;
        for (int file = 1; file <= 200; ++file)
            expected << QString("File: %1").arg(file) << QString("File: %1, Image: 1").arg(file)
                     << QString("File: %1, Image: 2").arg(file);
        log.painted.removeAll(frmMain::idleText);
        QVERIFY(!log.painted.isEmpty());
        QCOMPARE(log.painted.back(), expected.back());
        qsizetype from = 0;
        for (const QString& text : log.painted) {
            from = expected.indexOf(text, from);
            QVERIFY2(from >= 0, qPrintable(text + " out of order"));
        }
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].text, QString("Files processed: 200\nTotal images: 400"));
    }

    void escapeStopsAfterTheCurrentFileAndMessagesHoldTheBatch() {
        TempDir dir;
        const ThreeFiles files(dir);
        Opened w(dir);
        select(w.files, files.names);
        bool heldWhileShown = false;
        BoxAnswerer answerer(w.window.get(), [&](const SeenBox& box) {
            if (box.text != "b.mpo is not a valid MPO file")
                return;
            heldWhileShown = w.window->isBatchRunning() && w.status->text() == "File: 2" &&
                             !std::filesystem::exists(dir / "c-L.jpg");
            QTest::keyClick(w.window.get(), Qt::Key_Escape);
        });
        QVERIFY(goAndWait(w.window.get(), w.go));
        QVERIFY(heldWhileShown);
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(answerer.seen[1].text,
                 QString("Files processed: 2\nTotal images: 2\nStopped after file 2 of 3"));
        QCOMPARE(dir.names(), files.afterStop);
        QVERIFY(w.window->isVisible());
    }

    void closingDuringABatchStopsItThenCloses() {
        TempDir dir;
        const ThreeFiles files(dir);
        Opened w(dir);
        select(w.files, files.names);
        BoxAnswerer answerer(w.window.get(), [&](const SeenBox&) {
            QVERIFY(!w.window->close()); // not yet: the batch is running
        });
        QVERIFY(goAndWait(w.window.get(), w.go));
        QTRY_VERIFY(!w.window->isVisible());
        QCOMPARE(answerer.seen.size(), 1); // no summary for a window being closed
        QCOMPARE(dir.names(), files.afterStop);
    }

    void destroyingTheWindowDuringABatchStopsItFirst() {
        TempDir dir;
        const QStringList names = writeStereoFiles(dir, 50, 10'000);
        Opened w(dir);
        select(w.files, names);
        QTest::mouseClick(w.go, Qt::LeftButton);
        w.window.reset();
        // Every file the batch went through is wholly split, and nothing else is there.
        for (const std::string& name : dir.names()) {
            if (!name.ends_with("-L.jpg"))
                continue;
            const std::string stem = name.substr(0, name.size() - 6);
            QVERIFY(std::filesystem::exists(dir / (stem + "-R.jpg")));
        }
        for (const std::string& name : dir.names())
            QVERIFY2(name.ends_with(".mpo") || name.ends_with(".jpg"), name.c_str());
    }

    void returnPressesGoOnTheButtonAndInTheFileList() {
        TempDir dir;
        writeBytes(dir / "a.mpo", jpegLike(3'000));
        Opened w(dir);
        for (QWidget* target : {static_cast<QWidget*>(w.go), static_cast<QWidget*>(w.files)}) {
            QSignalSpy finished(w.window.get(), &frmMain::batchFinished);
            BoxAnswerer answerer(w.window.get());
            QTest::keyClick(target, Qt::Key_Return);
            QVERIFY(finished.wait(10'000));
            QCOMPARE(answerer.seen.size(), 1);
            QCOMPARE(answerer.seen[0].text, QString("No files selected"));
        }
    }

    void fileArgumentsAndDroppedFilesOpenTheirFolderSelected() {
        TempDir dir;
        std::filesystem::create_directory(dir / "pics");
        for (const char* name : {"a.mpo", "b.MPO", "c.mpo"})
            writeBytes(dir / "pics" / name, jpegLike(3'000));
        writeBytes(dir / "pics" / "d.jpg", jpegLike(3'000));
        writeBytes(dir / "elsewhere.mpo", jpegLike(3'000));
        Opened w(dir);
        BoxAnswerer answerer(w.window.get());
        w.window->openFiles({qPath(dir / "pics" / "b.MPO"), qPath(dir / "elsewhere.mpo"),
                             qPath(dir / "pics" / "c.mpo"), qPath(dir / "pics" / "d.jpg"),
                             qPath(dir / "pics" / "gone.mpo")});
        QCOMPARE(w.dirs->path(), qPath(dir / "pics"));
        QTRY_COMPARE(w.files->selectedNames(), (QStringList{"b.MPO", "c.mpo"}));
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].text,
                 "Not selected, not an .mpo file:\n" + qPath(dir / "pics" / "d.jpg") +
                     "\nNot selected, not in " + qPath(dir / "pics") + ":\n" +
                     qPath(dir / "elsewhere.mpo") + "\nNot selected, not found:\n" +
                     qPath(dir / "pics" / "gone.mpo"));

        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(qPath(dir / "elsewhere.mpo"))});
        const QPoint at = w.window->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.window.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.window.get(), &drop);
        QCOMPARE(w.dirs->path(), qPath(dir.path()));
        QTRY_COMPARE(w.files->selectedNames(), QStringList{"elsewhere.mpo"});
    }

    void fileListFollowsItsFolderAndKeepsTheSelection() {
        TempDir dir;
        writeBytes(dir / "a.mpo", jpegLike(3'000));
        writeBytes(dir / "b.mpo", jpegLike(3'000));
        Opened w(dir);
        select(w.files, {"b.mpo"});
        writeBytes(dir / "c-with-a-name-longer-than-the-list-is-wide.mpo", jpegLike(3'000));
        std::filesystem::rename(dir / "a.mpo", dir / "z.MPO");
        QTRY_COMPARE(
            listed(w.files),
            (QStringList{"b.mpo", "c-with-a-name-longer-than-the-list-is-wide.mpo", "z.MPO"}));
        QCOMPARE(w.files->selectedNames(), QStringList{"b.mpo"});
        const QModelIndex longName = w.files->model()->index(1, 0, w.files->rootIndex());
        QCOMPARE(longName.data(Qt::ToolTipRole).toString(),
                 QString("c-with-a-name-longer-than-the-list-is-wide.mpo"));
    }

    void driveListIsReadAnewOnOpeningAndAGoneDriveIsLeft() {
        TempDir dir;
        std::filesystem::create_directories(dir / "card" / "photos");
        Opened w(dir);
        w.drives->setVolumes({qPath(dir.path())});
        QStringList mounted{qPath(dir.path()), qPath(dir / "card")};
        w.drives->setVolumeSource([&mounted] { return mounted; });
        w.drives->showPopup();
        w.drives->hidePopup();
        QCOMPARE(w.drives->volumes(), mounted);

        w.drives->setCurrentIndex(1);
        w.dirs->setPath(w.dirs->root(), qPath(dir / "card" / "photos"));
        QCOMPARE(w.dirs->path(), qPath(dir / "card" / "photos"));
        // The card is taken out while its folder is open.
        std::filesystem::remove_all(dir / "card");
        mounted.removeLast();
        BoxAnswerer answerer(w.window.get());
        w.drives->showPopup();
        w.drives->hidePopup();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].text, "Cannot open folder " + qPath(dir / "card" / "photos") +
                                            ": No such file or directory");
        QCOMPARE(w.drives->drive(), qPath(dir.path()));
        QCOMPARE(w.dirs->path(), qPath(dir.path()));
    }

    void fontScalingKeepsEveryControlWholeAndApart() {
        for (const int points : {8, 11, 14}) {
            TempDir dir;
            QFont font = QApplication::font();
            font.setPointSize(points);
            QApplication::setFont(font);
            Opened w(dir);
            const QFontMetrics metrics(w.window->font());
            const QWidgetList controls{w.drives, w.dirs, w.files, w.go, w.status, w.speedHack};
            for (int i = 0; i < controls.size(); ++i) {
                QVERIFY2(
                    w.window->rect().contains(controls[i]->geometry()),
                    qPrintable(QString("%1 at %2 pt").arg(controls[i]->objectName()).arg(points)));
                for (int j = i + 1; j < controls.size(); ++j)
                    QVERIFY(!controls[i]->geometry().intersects(controls[j]->geometry()));
            }
            QVERIFY(w.status->width() >= metrics.horizontalAdvance(frmMain::idleText));
            QVERIFY(w.status->height() >= metrics.height());
            QVERIFY(w.speedHack->width() >= w.speedHack->sizeHint().width());
            QVERIFY(w.speedHack->height() >= metrics.height());
            QVERIFY(w.go->height() >= w.go->sizeHint().height());
            QVERIFY(w.drives->height() >= metrics.height());
        }
    }

    void speedHackTakesEffectFromTheNextBatch() {
        TempDir dir;
        writeBytes(dir / "a.mpo", mpoWithImagesAt(6'000, {0, 3'000}));
        writeBytes(dir / "b.mpo", jpegLike(2'100));
        Opened w(dir);
        select(w.files, {"a.mpo", "b.mpo"});
        BoxAnswerer answerer(w.window.get());
        QVERIFY(goAndWait(w.window.get(), w.go));
        QCOMPARE(answerer.seen.size(), 1);
        QVERIFY(std::filesystem::exists(dir / "b.jpg"));

        std::filesystem::remove(dir / "b.jpg");
        QTest::mouseClick(w.speedHack, Qt::LeftButton);
        QVERIFY(w.speedHack->isChecked());
        QVERIFY(goAndWait(w.window.get(), w.go));
        QCOMPARE(answerer.seen.size(), 3);
        QCOMPARE(answerer.seen[1].text, QString("b.mpo too small to be a valid file"));
        QCOMPARE(answerer.seen[2].text, QString("Files processed: 2\nTotal images: 2"));
        QVERIFY(!std::filesystem::exists(dir / "b.jpg"));
    }
};

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
