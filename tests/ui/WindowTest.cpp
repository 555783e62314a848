#include "DirList.h"
#include "DriveList.h"
#include "FileAccessAsUser.h"
#include "FileList.h"
#include "FolderModel.h"
#include "LauncherProgress.h"
#include "MpoBuilder.h"
#include "frmMain.h"

#include <QCheckBox>
#include <QDBusConnection>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
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
    int width = 0;
    QFont font;
    QPoint centre;
    int boxesOnShow = 0; // message boxes open at once, this one included
    QString status;      // lblMain's text behind the box
    QPointer<QMessageBox> box;
};

// The message boxes on show, the one opened last at the end.
QList<QMessageBox*> boxesOnShow() {
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
            boxes << box;
    return boxes;
}

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
        const QList<QMessageBox*> boxes = boxesOnShow();
        if (boxes.isEmpty())
            return;
        // The top one: the one shown last, as the window system stacks them.
        QMessageBox* box = boxes.back();
        if (auto* active = qobject_cast<QMessageBox*>(QApplication::activeWindow()))
            box = active;
        if (auto* modal = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box = modal;
        SeenBox s;
        s.boxesOnShow = static_cast<int>(boxes.size());
        s.status = window_->findChild<QLabel*>("lblMain")->text();
        s.title = box->windowTitle();
        s.text = box->text();
        s.hasIcon = box->icon() != QMessageBox::NoIcon || !box->iconPixmap().isNull();
        for (QAbstractButton* button : box->buttons())
            s.buttons << button->text().remove('&');
        s.okHasIcon = !box->button(QMessageBox::Ok)->icon().isNull();
        for (const char* name : {"cmbGo", "File1", "Dir1", "Drive1", "chk1"})
            s.enabled << window_->findChild<QWidget*>(name)->isEnabled();
        s.busyPointer = window_->cursor().shape() == Qt::WaitCursor;
        s.width = box->width();
        s.font = box->font();
        s.centre = box->frameGeometry().center();
        s.box = box;
        seen << s;
        if (beforeAnswer_)
            beforeAnswer_(s);
        // Unless what ran meanwhile answered it.
        if (s.box != nullptr && s.box->isVisible())
            s.box->button(QMessageBox::Ok)->click();
    }

    QWidget* window_;
    std::function<void(const SeenBox&)> beforeAnswer_;
    QTimer timer_;
};

// Counts the events of one type that reach a widget.
class EventCounter : public QObject {
  public:
    EventCounter(QWidget* widget, QEvent::Type type, int& count) : type_(type), count_(count) {
        widget->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        count_ += event->type() == type_ ? 1 : 0;
        return false;
    }

  private:
    QEvent::Type type_;
    int& count_;
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

// The longest time the window's thread went without running its timers, as a user would feel it
// in a click that waits: the gaps between the ticks of a 5 ms timer, and the length of whatever
// the test itself runs on the thread between two waits.
class PauseMeter : public QObject {
  public:
    PauseMeter() {
        connect(&timer_, &QTimer::timeout, this, [this] { note(); });
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.start(5);
        clock_.start();
    }
    // Runs what the test does on the window's thread, then lets the window run for settle ms.
    void measure(const std::function<void()>& step, int settle) {
        note();
        step();
        note();
        QTest::qWait(settle);
        note();
    }
    qint64 longest() { return std::exchange(longest_, 0); }

  private:
    void note() { longest_ = std::max(longest_, clock_.restart()); }

    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};

// The launcher entry updates on the session bus, as a dock hears them: on a connection of its own.
class LauncherLog : public QObject {
    Q_OBJECT
  public:
    explicit LauncherLog(const QDBusConnection& bus) : bus_(bus) {
        listening = bus_.connect({}, {}, LauncherProgress::interfaceName, "Update", this,
                                 SLOT(update(QString, QVariantMap)));
    }

    bool listening = false;
    QStringList uris;
    QList<std::pair<double, bool>> progress; // progress, progress-visible

  public slots:
    void update(const QString& uri, const QVariantMap& properties) {
        uris << uri;
        progress << std::pair(properties.value("progress").toDouble(),
                              properties.value("progress-visible").toBool());
    }

  private:
    QDBusConnection bus_;
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
        explicit Opened(const TempDir& dir) : Opened(dir.path()) {}
        explicit Opened(const std::filesystem::path& folder) {
            QDir::setCurrent(qPath(folder));
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
    QTemporaryDir settings_;

  private slots:
    // The window's remembered size goes to a folder of the test's own, and each test starts
    // without one.
    void initTestCase() {
        QVERIFY(settings_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
    }

    void init() { QSettings().clear(); }

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
        QCOMPARE(w.window->minimumSize(), w.window->size());
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
        QVERIFY(w.speedHack->toolTip().contains("different cameras"));
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

    void foldersOpenWhenAskedNotWhileArrowingThroughAndTheFocusShows() {
        TempDir dir;
        for (const char* folder : {"a", "sub", "sub/inner"})
            std::filesystem::create_directory(dir / folder);
        writeBytes(dir / "sub" / "x.mpo", jpegLike(200));
        writeBytes(dir / "top.mpo", jpegLike(200));
        Opened w(dir);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        QTRY_COMPARE(listed(w.files), QStringList{"top.mpo"});
        FolderModel* model = w.dirs->folders();
        const auto focused = [&] { return model->filePath(w.dirs->currentIndex()); };
        const auto shown = [&] { return w.dirs->viewport()->grab().toImage(); };

        // Arrowing to "sub" and expanding it opens nothing.
        w.dirs->setFocus();
        QTest::keyClick(w.dirs, Qt::Key_Down);
        QTest::keyClick(w.dirs, Qt::Key_Down);
        QCOMPARE(focused(), qPath(dir / "sub"));
        QTest::keyClick(w.dirs, Qt::Key_Right);
        QTRY_VERIFY(w.dirs->isExpanded(model->index(qPath(dir / "sub"))));
        QCOMPARE(w.dirs->path(), qPath(dir.path()));
        QCOMPARE(listed(w.files), QStringList{"top.mpo"});

        // The focused row is framed while the tree has the focus.
        const QRect row = w.dirs->visualRect(w.dirs->currentIndex());
        const QPoint edge(row.left() + 1, row.center().y());
        const QColor withFocus = shown().pixelColor(edge);
        w.go->setFocus();
        QTRY_VERIFY(shown().pixelColor(edge) != withFocus);

        // Return opens the focused folder, a click opens the one clicked.
        w.dirs->setFocus();
        QTest::keyClick(w.dirs, Qt::Key_Return);
        QCOMPARE(w.dirs->path(), qPath(dir / "sub"));
        QTRY_COMPARE(listed(w.files), QStringList{"x.mpo"});
        const QRect a = w.dirs->visualRect(model->index(qPath(dir / "a")));
        QTest::mouseClick(w.dirs->viewport(), Qt::LeftButton, {}, a.center());
        QCOMPARE(w.dirs->path(), qPath(dir / "a"));
        QTRY_COMPARE(listed(w.files), QStringList{});
    }

    // An expand arrow only on a folder that holds a folder, known before it is read; and a frame
    // on the file list when it has the focus with no file in it.
    void arrowsOnlyWhereThereAreFoldersAndTheFocusShowsOnAnEmptyList() {
        TempDir dir;
        for (const char* folder : {"empty", "files-only", "hidden-only/.cache", "sub/inner"})
            std::filesystem::create_directories(dir / folder);
        writeBytes(dir / "files-only" / "x.mpo", jpegLike(200));
        Opened w(dir);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        FolderModel* model = w.dirs->folders();
        const QModelIndex open = model->index(qPath(dir.path()));
        QTRY_COMPARE(model->rowCount(open), 4);
        // Each row as the view asks about it, none of them read yet.
        QStringList expandable;
        for (int row = 0; row < model->rowCount(open); ++row)
            if (model->hasChildren(model->index(row, 0, open)))
                expandable << model->index(row, 0, open).data().toString();
        QCOMPARE(expandable, QStringList{"sub"});

        QTRY_COMPARE(listed(w.files), QStringList{});
        w.go->setFocus();
        const QImage unfocused = w.files->viewport()->grab().toImage();
        // From the keyboard, as a style shows focus frames.
        QTest::keyClick(w.go, Qt::Key_Backtab);
        QCOMPARE(w.window->focusWidget(), static_cast<QWidget*>(w.files));
        QTRY_VERIFY(w.files->viewport()->grab().toImage() != unfocused);
    }

    void theTreeFollowsItsFoldersExceptDuringABatch() {
        TempDir dir;
        Opened w(dir);
        FolderModel* model = w.dirs->folders();
        const QModelIndex open = model->index(qPath(dir.path()));
        std::filesystem::create_directory(dir / "new");
        QTRY_COMPARE(model->rowCount(open), 1);
        w.dirs->setWatching(false);
        std::filesystem::create_directory(dir / "during");
        std::filesystem::remove(dir / "new");
        QTest::qWait(400);
        QCOMPARE(model->filePath(model->index(0, 0, open)), qPath(dir / "new"));
        w.dirs->setWatching(true); // what changed meanwhile is read then
        QTRY_COMPARE(model->filePath(model->index(0, 0, open)), qPath(dir / "during"));
        QCOMPARE(model->rowCount(open), 1);
        QVERIFY(w.dirs->isExpanded(open));
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
        auto* model = w.dirs->folders();
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
        auto* model = w.dirs->folders();
        QTRY_VERIFY(!w.dirs->visualRect(model->index(qPath(dir / "sub"))).isEmpty());
        const QPoint sub = w.dirs->visualRect(model->index(qPath(dir / "sub"))).center();
        // The folder stays in the tree, as one that cannot be read would.
        w.dirs->setWatching(false);
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

    // A card taken out with its files selected: GO! says once that the folder is gone, sums up
    // nothing, and the lists move to the nearest folder that is there.
    void aFolderGoneBeforeGoIsToldOnceAndTheListsMoveToOneThatIsThere() {
        TempDir dir;
        std::filesystem::create_directories(dir / "card" / "DCIM");
        writeBytes(dir / "card" / "DCIM" / "a.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
        Opened w(dir / "card" / "DCIM");
        select(w.files, {"a.mpo"});
        BoxAnswerer answerer(w.window.get());
        QDir::setCurrent(qPath(dir.path()));
        std::filesystem::remove_all(dir / "card");
        QVERIFY(goAndWait(w.window.get(), w.go));
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].text, "Cannot open folder " + qPath(dir / "card" / "DCIM") +
                                            ": No such file or directory");
        QCOMPARE(w.dirs->path(), qPath(dir.path()));
        QCOMPARE(w.files->path(), qPath(dir.path()));
        QTest::qWait(300);
        QCOMPARE(answerer.seen.size(), 1);
    }

    // Files listed in a folder that can be read but not searched: each is told with the system's
    // reason, and counted.
    void aFileThatCannotBeReadIsToldAndCounted() {
        TempDir dir;
        UnsearchableFolder card(dir, {"Q1.MPO", "Q2.MPO"});
        Opened w(card.path());
        select(w.files, {"Q1.MPO", "Q2.MPO"});
        BoxAnswerer answerer(w.window.get());
        bool finished = false;
        if (!card.withoutSearch([&] { finished = goAndWait(w.window.get(), w.go); }))
            QSKIP("root here cannot give up its power over permissions (setfsuid)");
        QVERIFY(finished);
        QStringList texts;
        for (const SeenBox& box : answerer.seen)
            texts << box.text;
        QCOMPARE(texts, (QStringList{"Cannot read Q1.MPO: Permission denied",
                                     "Cannot read Q2.MPO: Permission denied",
                                     "Files processed: 2\nTotal images: 0"}));
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
        // Wide enough for the title in a bold title bar font beside the window's icon and three
        // buttons, each a line and a half square.
        QFont bold = box.font;
        bold.setBold(true);
        QVERIFY(box.width >= QFontMetrics(bold).horizontalAdvance(box.title) +
                                 6 * QFontMetrics(box.font).height());
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

    void escapeOnTheWindowStopsTheBatchAfterTheCurrentFile() {
        TempDir dir;
        const QStringList names = writeStereoFiles(dir, 40, 200'000);
        Opened w(dir);
        select(w.files, names);
        BoxAnswerer answerer(w.window.get());
        QSignalSpy finished(w.window.get(), &frmMain::batchFinished);
        QTest::mouseClick(w.go, Qt::LeftButton);
        QTest::keyClick(w.window.get(), Qt::Key_Escape);
        QVERIFY(finished.wait(20'000));
        QCOMPARE(answerer.seen.size(), 1);
        QVERIFY2(answerer.seen[0].text.contains("\nStopped after file "),
                 qPrintable(answerer.seen[0].text));
        // Every file the batch went through wholly split, the others untouched.
        int halves = 0;
        for (const std::string& name : dir.names())
            if (name.ends_with("-L.jpg")) {
                QVERIFY(
                    std::filesystem::exists(dir / (name.substr(0, name.size() - 6) + "-R.jpg")));
                halves += 2;
            }
        QCOMPARE(dir.names().size(), std::size_t(40 + halves));
        QVERIFY(halves < 80);
    }

    // Escape on a box answers it, and the batch stops after that box's file, as Escape on the
    // window stops it after the current one.
    void escapeOnABoxAnswersItAndStopsTheBatchAfterThatFile() {
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
            QTest::keyClick(box.box, Qt::Key_Escape);
            QVERIFY(!box.box->isVisible());
        });
        QVERIFY(goAndWait(w.window.get(), w.go));
        QVERIFY(heldWhileShown);
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(answerer.seen[1].text,
                 QString("Files processed: 2\nTotal images: 2\nStopped after file 2 of 3"));
        QCOMPARE(dir.names(), files.afterStop);
        QVERIFY(w.window->isVisible());
    }

    // Batch after batch in one window, with "No files selected" between: each message holds its
    // batch, alone on screen, the status line still on its file and the controls locked; the
    // summary comes last, alone, once the controls are free; each box over the window.
    void everyMessageOfEveryBatchHoldsItAndTheSummaryComesLast() {
        TempDir dir;
        const ThreeFiles files(dir);
        Opened w(dir);
        BoxAnswerer answerer(w.window.get());
        const QList<bool> locked{false, false, false, false, true};
        const QList<bool> free{true, true, true, true, true};
        for (const bool anySelected : {true, false, true}) {
            if (anySelected)
                select(w.files, files.names);
            else
                w.files->clearSelection();
            const qsizetype before = answerer.seen.size();
            QVERIFY(goAndWait(w.window.get(), w.go));
            const QList<SeenBox> seen = answerer.seen.mid(before);
            QCOMPARE(seen.size(), anySelected ? 2 : 1);
            const SeenBox& message = seen.front();
            QCOMPARE(message.text, anySelected ? QString("b.mpo is not a valid MPO file")
                                               : QString("No files selected"));
            QCOMPARE(message.boxesOnShow, 1);
            QCOMPARE(message.enabled, locked);
            QVERIFY(message.busyPointer);
            for (const SeenBox& box : seen) {
                const QPoint off = box.centre - w.window->frameGeometry().center();
                QVERIFY2(off.manhattanLength() <= 8, qPrintable(box.text));
            }
            if (!anySelected)
                continue;
            QCOMPARE(message.status, QString("File: 2"));
            const SeenBox& summary = seen.back();
            QCOMPARE(summary.text, QString("Files processed: 3\nTotal images: 4"));
            QCOMPARE(summary.boxesOnShow, 1);
            QCOMPARE(summary.enabled, free);
            QCOMPARE(summary.status, frmMain::idleText);
            w.window->move(w.window->pos() + QPoint(40, 30));
        }
        QTest::qWait(300);
        QCOMPARE(boxesOnShow().size(), 0);
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

    // While a box shows, the window takes no input of its own, but it is not blocked as Qt blocks
    // a window behind a modal box, which drops the window system's close (its button, Alt+F4):
    // closing it answers the box, stops the batch after that file, and closes.
    void closingTheWindowWhileABoxShowsStopsTheBatchAndCloses() {
        TempDir dir;
        const ThreeFiles files(dir);
        Opened w(dir);
        select(w.files, files.names);
        int blockedEvents = 0;
        EventCounter counter(w.window.get(), QEvent::WindowBlocked, blockedEvents);
        bool speedHackUntouched = false;
        BoxAnswerer answerer(w.window.get(), [&](const SeenBox& box) {
            // Input to the window goes nowhere meanwhile.
            QTest::mouseClick(w.speedHack, Qt::LeftButton);
            speedHackUntouched = !w.speedHack->isChecked();
            QVERIFY(w.window->close() == false); // not yet: the batch stops first
            QVERIFY(!box.box->isVisible());
        });
        QSignalSpy finished(w.window.get(), &frmMain::batchFinished);
        QTest::mouseClick(w.go, Qt::LeftButton);
        QVERIFY(finished.wait(20'000));
        QTRY_VERIFY(!w.window->isVisible());
        QCOMPARE(blockedEvents, 0);
        QVERIFY(speedHackUntouched);
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
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        for (QWidget* target : {static_cast<QWidget*>(w.go), static_cast<QWidget*>(w.files)}) {
            QSignalSpy finished(w.window.get(), &frmMain::batchFinished);
            BoxAnswerer answerer(w.window.get());
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Return);
            QVERIFY(finished.wait(10'000));
            QCOMPARE(answerer.seen.size(), 1);
            QCOMPARE(answerer.seen[0].text, QString("No files selected"));
            // The focus is back where GO! was pressed from, not on the check box.
            QTRY_COMPARE(w.window->focusWidget(), target);
        }
    }

    // The summary answered with Return going down leaves the focus on GO! with the key still
    // down: neither its repeats nor the key itself before it is let go start another batch.
    void aHeldReturnOrTheOneThatAnsweredABoxStartsNoBatch() {
        TempDir dir;
        writeBytes(dir / "a.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
        Opened w(dir);
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        select(w.files, {"a.mpo"});
        QSignalSpy finished(w.window.get(), &frmMain::batchFinished);
        BoxAnswerer answerer(w.window.get(),
                             [](const SeenBox& box) { QTest::keyPress(box.box, Qt::Key_Return); });
        w.go->setFocus();
        QTest::keyClick(w.go, Qt::Key_Return);
        QVERIFY(finished.wait(10'000));
        QCOMPARE(answerer.seen.size(), 1);
        QTRY_COMPARE(w.window->focusWidget(), static_cast<QWidget*>(w.go));

        for (QWidget* target : {static_cast<QWidget*>(w.go), static_cast<QWidget*>(w.files)}) {
            QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r", true);
            QApplication::sendEvent(target, &repeat);
            QKeyEvent unmarked(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
            QApplication::sendEvent(target, &unmarked);
        }
        QTest::qWait(300);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(answerer.seen.size(), 1);

        // Let go and pressed again: that is a batch.
        QTest::keyRelease(w.go, Qt::Key_Return);
        QTest::keyClick(w.go, Qt::Key_Return);
        QVERIFY(finished.wait(10'000));
        QCOMPARE(answerer.seen.size(), 2);
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

    void fileArgumentsOfTheCommandLineAreToldInABoxCentredOnTheWindow() {
        TempDir dir;
        writeBytes(dir / "a.mpo", jpegLike(3'000));
        QDir::setCurrent(qPath(dir.path()));
        frmMain window;
        window.move(180, 120);
        BoxAnswerer answerer(&window);
        // As the program starts: the files are given as the window is shown.
        window.show();
        window.openFilesWhenShown({qPath(dir / "a.mpo"), qPath(dir / "gone.mpo")});
        QTRY_COMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].text, "Not selected, not found:\n" + qPath(dir / "gone.mpo"));
        const QPoint off = answerer.seen[0].centre - window.frameGeometry().center();
        QVERIFY2(off.manhattanLength() <= 8,
                 qPrintable(QString("%1, %2 off the window's centre").arg(off.x()).arg(off.y())));
        QCOMPARE(window.findChild<FileList*>("File1")->selectedNames(), QStringList{"a.mpo"});
    }

    void theDocksEntryShowsTheBatchsProgress() {
        if (qEnvironmentVariableIsEmpty("TWINFRAME_PRIVATE_BUS"))
            QSKIP("needs a session bus of its own: run through ctest, which gives it one");
        const QDBusConnection dock =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "dock");
        QVERIFY(dock.isConnected());
        LauncherLog log(dock);
        QVERIFY(log.listening);
        TempDir dir;
        const QStringList names = writeStereoFiles(dir, 8, 10'000);
        Opened w(dir);
        select(w.files, names);
        BoxAnswerer answerer(w.window.get());
        QVERIFY(goAndWait(w.window.get(), w.go));
        QTRY_COMPARE(log.progress.size(), 10);

        // Each file's start, in whole percents, the end, then no progress once it is summed up.
        const QList<std::pair<double, bool>> expected{
            {0.0, true},  {0.12, true}, {0.25, true}, {0.37, true}, {0.5, true},
            {0.62, true}, {0.75, true}, {0.87, true}, {1.0, true},  {0.0, false}};
        QCOMPARE(log.progress, expected);
        QCOMPARE(log.uris, QStringList(10, "application://org.example.Twinframe.desktop"));
        QCOMPARE(answerer.seen.size(), 1);
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

    // A figure, not a pass or fail: the longest pause of the window's thread with 5,000 files in
    // the open folder. Also checks that the folder tree is kept as it was across a batch.
    void aFolderOfThousandsOfFilesKeepsTheWindowAnswering() {
        TempDir dir;
        for (int i = 0; i < 60; ++i)
            std::filesystem::create_directories(dir / "cards" / ("card" + std::to_string(i)));
        const std::filesystem::path big = dir / "DCIM";
        std::filesystem::create_directory(big);
        const Bytes pair = mpoWithImagesAt(4'000, {0, 2'000});
        const Bytes single = jpegLike(2'000);
        QStringList batch;
        for (int i = 0; i < 5'000; ++i) {
            const std::string stem = "IMG_" + std::to_string(1'000 + i);
            writeBytes(big / (stem + (i < 1'000 ? ".MPO" : ".JPG")), i < 1'000 ? pair : single);
            if (i < 300)
                batch << QString::fromStdString(stem + ".MPO");
        }
        PauseMeter meter;
        std::unique_ptr<Opened> w;
        meter.measure([&] { w = std::make_unique<Opened>(big); }, 1'500);
        const qint64 startUp = meter.longest();

        // Some folders expanded and the tree scrolled, as a user leaves it.
        w->dirs->expand(w->dirs->folders()->index(qPath(dir / "cards")));
        QTRY_VERIFY(w->dirs->verticalScrollBar()->maximum() > 0);
        w->dirs->verticalScrollBar()->setValue(w->dirs->verticalScrollBar()->maximum() / 2);
        const int scrolled = w->dirs->verticalScrollBar()->value();
        meter.longest();
        meter.measure([&] { w->dirs->setPath(w->dirs->root(), qPath(dir / "cards")); }, 500);
        meter.measure([&] { w->dirs->setPath(w->dirs->root(), qPath(big)); }, 1'000);
        const qint64 changingFolder = meter.longest();
        w->dirs->verticalScrollBar()->setValue(scrolled);

        select(w->files, batch);
        QSignalSpy resets(w->dirs->folders(), &QAbstractItemModel::modelReset);
        BoxAnswerer answerer(w->window.get());
        meter.measure([&] { QVERIFY(goAndWait(w->window.get(), w->go)); }, 1'000);
        const qint64 aroundBatch = meter.longest();
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen[0].text, QString("Files processed: 300\nTotal images: 600"));
        QCOMPARE(resets.size(), 0);
        QVERIFY(w->dirs->isExpanded(w->dirs->folders()->index(qPath(dir / "cards"))));
        QCOMPARE(w->dirs->verticalScrollBar()->value(), scrolled);

        qInfo("Longest pause of the window's thread, 5,000 files in the folder: start-up %lld ms, "
              "changing folder %lld ms, around a batch of 300 files %lld ms",
              startUp, changingFolder, aroundBatch);
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

    void aDriveIsTakenWhenChosenNotWhileArrowingThroughTheList() {
        TempDir first;
        TempDir second;
        writeBytes(second / "on-b.mpo", jpegLike(200));
        Opened w(first);
        const QStringList mounted{qPath(first.path()), qPath(second.path())};
        w.drives->setVolumeSource([&mounted] { return mounted; });
        w.drives->setVolumes(mounted);
        w.drives->setFocus();
        for (const Qt::Key key : {Qt::Key_Down, Qt::Key_End, Qt::Key_B}) {
            QTest::keyClick(w.drives, key);
            QCOMPARE(w.drives->drive(), qPath(first.path()));
        }
        QWheelEvent wheel({5, 5}, w.drives->mapToGlobal(QPointF(5, 5)), {}, {0, -120}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w.drives, &wheel);
        QCOMPARE(w.drives->drive(), qPath(first.path()));
        QCOMPARE(w.dirs->root(), qPath(first.path()));

        // The arrow key opened the list; the drive is taken when it is chosen there.
        QTRY_VERIFY(w.drives->view()->isVisible());
        QTest::keyClick(w.drives->view(), Qt::Key_Down);
        QCOMPARE(w.drives->drive(), qPath(first.path()));
        QTest::keyClick(w.drives->view(), Qt::Key_Return);
        QCOMPARE(w.drives->drive(), qPath(second.path()));
        QCOMPARE(w.dirs->root(), qPath(second.path()));
        QTRY_COMPARE(listed(w.files), QStringList{"on-b.mpo"});
    }

    void windowGrowsFromTheLayoutAndOpensAtTheSizeItWasLeft() {
        TempDir dir;
        QSize left;
        {
            Opened w(dir);
            const QSize layout = w.window->layoutSize();
            QCOMPARE(w.window->size(), layout);
            QCOMPARE(w.window->minimumSize(), layout);
            const QWidgetList controls{w.drives, w.dirs, w.files, w.go, w.status, w.speedHack};
            QList<QRect> before;
            for (QWidget* control : controls)
                before << control->geometry();

            left = layout + QSize(300, 200);
            w.window->resize(left);
            QCOMPARE(w.window->size(), left);
            // The lists take the room: each column half of the width, the lists all the height.
            QCOMPARE(w.drives->width(), before[0].width() + 150);
            QCOMPARE(w.dirs->size(), before[1].size() + QSize(150, 200));
            QCOMPARE(w.files->geometry(), before[2].translated(150, 0).adjusted(0, 0, 150, 200));
            // What is under the lists stays under them, as far from them as it was.
            QCOMPARE(w.go->geometry(), before[3].translated(150, 200).adjusted(0, 0, 150, 0));
            QCOMPARE(w.status->geometry(), before[4].translated(0, 200).adjusted(0, 0, 150, 0));
            QCOMPARE(w.speedHack->geometry(), before[5].translated(150, 200));
            for (int i = 0; i < controls.size(); ++i)
                for (int j = i + 1; j < controls.size(); ++j)
                    QVERIFY(!controls[i]->geometry().intersects(controls[j]->geometry()));

            w.window->resize(layout - QSize(50, 50));
            QCOMPARE(w.window->size(), layout);
            QCOMPARE(w.files->geometry(), before[2]);
            w.window->resize(left);
        }
        Opened again(dir);
        QCOMPARE(again.window->size(), left);
        QCOMPARE(again.window->minimumSize(), again.window->layoutSize());
    }

    // A size left on a larger screen opens held to this one, GO! in reach.
    void aRememberedSizeLargerThanTheScreenIsHeldToIt() {
        TempDir dir;
        QSettings().setValue("window/size", QSize(3000, 2200));
        Opened w(dir);
        QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
        const QRect room = w.window->screen()->availableGeometry();
        QVERIFY2(w.window->width() < room.width() && w.window->height() < room.height(),
                 qPrintable(QString("%1x%2 on %3x%4")
                                .arg(w.window->width())
                                .arg(w.window->height())
                                .arg(room.width())
                                .arg(room.height())));
        QVERIFY(w.window->width() >= w.window->layoutSize().width());
        QVERIFY(w.window->height() >= w.window->layoutSize().height());
        w.window->move(room.topLeft());
        QTRY_VERIFY(room.contains(QRect(w.go->mapToGlobal(QPoint()), w.go->size())));
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
