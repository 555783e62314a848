// Fifos and symbolic links in a file's place, modes, inode numbers and mounted disk images: POSIX
// systems only.
#include "JpegBuilder.h"
#include "MpoBuilder.h"
#include "SplitFileFixture.h"
#include "join/joinPair.h"
#include "split/runBatch.h"
#include "split/splitFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

using namespace twinframe;
using namespace twinframe::test;

using Names = std::vector<std::string>;

TEST(SplitFilePosix, PassesOverWhatIsNotAVisibleRegularFile) {
    TempDir dir;
    BatchState batch;
    RecordingReporter reporter;
    const Bytes file = mpoWithImagesAt(10'000, {0, 5'000});
    writeBytes(dir / ".hidden.mpo", file);
    std::filesystem::create_directory(dir / "folder.mpo");
    std::filesystem::create_symlink(dir / "gone.mpo", dir / "dangling.mpo");
    ASSERT_EQ(::mkfifo((dir / "pipe.mpo").c_str(), 0644), 0);
    for (const char* name : {"gone.mpo", ".hidden.mpo", "folder.mpo", "dangling.mpo", "pipe.mpo"})
        splitFile(dir.path(), name, 1, batch, reporter);
    EXPECT_TRUE(reporter.statuses.empty());
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_EQ(dir.names(), (Names{".hidden.mpo", "dangling.mpo", "folder.mpo", "pipe.mpo"}));
}

TEST(SplitFilePosix, FollowsALinkToARegularFile) {
    TempDir dir;
    BatchState batch;
    RecordingReporter reporter;
    const Bytes file = mpoWithImagesAt(10'000, {0, 5'000});
    writeBytes(dir / "target.bin", file);
    std::filesystem::create_symlink(dir / "target.bin", dir / "link.mpo");
    splitFile(dir.path(), "link.mpo", 1, batch, reporter);
    EXPECT_EQ(readBytes(dir / "link-L.jpg"), slice(file, 0, 4'999));
}

namespace {

// Runs a shell command, true when it succeeded.
bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

} // namespace

// A power cut right after the batch, for real where the test may mount an ext4 image (root and a
// loop device): the image is copied the moment the batch and a join of its first pair return,
// with nothing more written back, which is what a disk holds when the power goes. Mounted
// again, every output the batch counted is there, whole, and so is the joined file.
TEST(SplitFilePosix, OutputsSurviveAPowerCutRightAfterTheBatchAndAJoin) {
    TempDir dir;
    const std::filesystem::path disk = dir / "disk", cut = dir / "cut";
    std::filesystem::create_directory(disk);
    std::filesystem::create_directory(cut);
    if (!run("truncate -s 64M " + quoted(dir / "disk.img") + " && mkfs.ext4 -q -F " +
             quoted(dir / "disk.img") + " >/dev/null 2>&1 && mount -o loop " +
             quoted(dir / "disk.img") + " " + quoted(disk) + " 2>/dev/null"))
        GTEST_SKIP() << "cannot mount an ext4 image here (needs root, a loop device, mkfs.ext4)";
    struct Unmount {
        std::vector<std::filesystem::path> mounts;
        ~Unmount() {
            for (const auto& mount : mounts)
                run("umount " + quoted(mount) + " 2>/dev/null");
        }
    } unmount{{disk}};

    Names names;
    std::vector<Bytes> files;
    for (std::size_t i = 0; i < 6; ++i) {
        names.push_back("DSCF000" + std::to_string(i) + ".MPO");
        files.push_back(mpoWithImagesAt(1'000'000 + i * 2'000, {0, 500'000}));
        writeBytes(disk / names.back(), files.back());
    }
    JpegRecipe recipe;
    recipe.dataSize = 200'000;
    writeBytes(disk / "pair-L.jpg", buildJpeg(recipe).bytes);
    recipe.seed = 2;
    writeBytes(disk / "pair-R.jpg", buildJpeg(recipe).bytes);
    ASSERT_TRUE(run("sync -f " + quoted(disk / names[0]))); // the card's own files are on it
    RecordingReporter reporter;
    const BatchResult result = runBatch(
        allSelected(names), disk, [] { return false; }, reporter);
    EXPECT_TRUE(joinPair(disk / "pair-L.jpg", disk / "pair-R.jpg", disk / "pair.mpo").joined());
    ASSERT_TRUE(run("cp " + quoted(dir / "disk.img") + " " + quoted(dir / "cut.img")));
    EXPECT_EQ(result.totalImages, 12);
    EXPECT_EQ(reporter.messages, Names{});
    const Bytes joined = readBytes(disk / "pair.mpo");
    ASSERT_GT(joined.size(), 400'000u);

    ASSERT_TRUE(run("umount " + quoted(disk)));
    unmount.mounts = {cut};
    ASSERT_TRUE(run("mount -o loop " + quoted(dir / "cut.img") + " " + quoted(cut)));
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string base = "DSCF000" + std::to_string(i);
        EXPECT_EQ(readBytes(cut / (base + "-L.jpg")), slice(files[i], 0, 499'999)) << base;
        EXPECT_EQ(readBytes(cut / (base + "-R.jpg")), slice(files[i], 500'000, files[i].size() - 1))
            << base;
    }
    EXPECT_EQ(readBytes(cut / "pair.mpo"), joined);
}

namespace {

struct stat statOf(const std::filesystem::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status;
}

} // namespace

// The input under its own output's name keeps its mode and its hard links, and a symbolic link
// of an output's name to the input is the input too.
TEST_F(SplitFile, InputUnderItsOwnOutputsNameKeepsItsModeAndLinks) {
    const Bytes file = jpegLike(20'000);
    writeBytes(dir / "solo.jpg", file);
    ::chmod((dir / "solo.jpg").c_str(), 0640);
    std::filesystem::create_hard_link(dir / "solo.jpg", dir / "keep.jpg");
    const auto before = statOf(dir / "solo.jpg");
    splitFile(dir.path(), "solo.jpg", 1, batch, reporter);
    EXPECT_EQ(reporter.messages, Names{"solo.jpg not split: solo.jpg is the file itself"});
    const auto after = statOf(dir / "solo.jpg");
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u); // the hard link is still one file with it
    EXPECT_EQ(after.st_mode & 0777, 0640u);

    // A pair whose -L name is a link to the MPO itself.
    const Bytes pair = mpoWithImagesAt(10'000, {0, 5'000});
    writeBytes(dir / "p.mpo", pair);
    std::filesystem::create_symlink("p.mpo", dir / "p-L.jpg");
    splitFile(dir.path(), "p.mpo", 2, batch, reporter);
    EXPECT_EQ(reporter.messages.back(), "p.mpo not split: p-L.jpg is the file itself");
    EXPECT_EQ(readBytes(dir / "p.mpo"), pair);
    EXPECT_FALSE(std::filesystem::exists(dir / "p-R.jpg"));
    EXPECT_EQ(batch.totalImages, 0);
}

// On ext4 the names must match; the message gives the file by its own name, found by identity
// (here a link of the output's name to the camera's file).
TEST_F(SplitFile, DifferentFileIsNamedAsTheFolderHoldsIt) {
    writeBytes(dir / "DSCF0002.JPG", jpegLike(30'000, 0xE1, 9));
    std::filesystem::create_symlink("DSCF0002.JPG", dir / "DSCF0002.jpg");
    split("DSCF0002.MPO", jpegLike(40'000));
    EXPECT_EQ(reporter.messages,
              Names{"DSCF0002.MPO not split: a different DSCF0002.JPG is already there"});
}

// Where the test may mount a FAT image (root, and a kernel with vfat or /dev/fuse for fusefat),
// the camera's DSCF0001.JPG is found under the output's name DSCF0001.jpg by the file system
// itself. Through fusefat, as through exfat-fuse, each spelling has an identity of its own: the
// folder's listing then tells that DSCF0001.jpg is the camera's file, and that a DSCF0001.JPG
// given as input is the file itself, never counted as an image.
TEST_F(SplitFile, OneImageKeepsTheCamerasJpegOnACaseInsensitiveDisk) {
    const std::filesystem::path image = dir / "card.img";
    const std::filesystem::path card = dir / "card";
    std::filesystem::create_directory(card);
    const std::string make = "truncate -s 4M '" + image.string() + "' && mkfs.vfat '" +
                             image.string() + "' >/dev/null 2>&1";
    const std::string kernelMount =
        "mount -o loop '" + image.string() + "' '" + card.string() + "' 2>/dev/null";
    const std::string fuseMount = "test -c /dev/fuse && fusefat -o rw+ '" + image.string() + "' '" +
                                  card.string() + "' >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0 ||
        (std::system(kernelMount.c_str()) != 0 && std::system(fuseMount.c_str()) != 0))
        GTEST_SKIP() << "cannot mount a FAT image here (needs root, mkfs.vfat, and vfat in the "
                        "kernel or /dev/fuse and fusefat)";
    const struct Unmount {
        std::string command;
        ~Unmount() { (void)std::system(command.c_str()); }
    } unmount{"umount '" + card.string() + "'"};
    const Bytes camerasJpeg = jpegLike(30'000, 0xE1, 7);
    writeBytes(card / "DSCF0001.JPG", camerasJpeg);
    writeBytes(card / "DSCF0001.MPO", jpegLike(40'000));
    splitFile(card, "DSCF0001.MPO", 1, batch, reporter);
    EXPECT_EQ(reporter.messages,
              Names{"DSCF0001.MPO not split: a different DSCF0001.JPG is already there"});
    EXPECT_EQ(readBytes(card / "DSCF0001.JPG"), camerasJpeg);

    splitFile(card, "DSCF0001.JPG", 2, batch, reporter);
    EXPECT_EQ(reporter.messages.back(), "DSCF0001.JPG not split: DSCF0001.jpg is the file itself");
    EXPECT_EQ(batch.totalImages, 0);
    EXPECT_TRUE(batch.written.empty());

    // A file that takes the one image's name during the copy is kept here too, where the copy
    // is a named temporary and the name is taken without replacing in the card's own way.
    FileChunkSink sink;
    sink.setWatcher([&](PublishStep step, const std::filesystem::path& path) {
        if (step == PublishStep::name)
            writeBytes(path, camerasJpeg);
    });
    batch.sink = &sink;
    writeBytes(card / "DSCF0002.MPO", jpegLike(40'000));
    splitFile(card, "DSCF0002.MPO", 3, batch, reporter);
    EXPECT_EQ(reporter.messages.back(),
              "DSCF0002.MPO not split: a different DSCF0002.jpg is already there");
    EXPECT_EQ(readBytes(card / "DSCF0002.jpg"), camerasJpeg);
    for (const auto& entry : std::filesystem::directory_iterator(card)) // no temporary left
        EXPECT_FALSE(entry.path().filename().string().starts_with(".twinframe-")) << entry.path();
    batch.sink = &fileChunkSink();

    // A pair on the card is split as anywhere, its names as the program spells them.
    const Bytes pair = mpoWithImagesAt(20'000, {0, 10'000});
    writeBytes(card / "PAIR.MPO", pair);
    splitFile(card, "PAIR.MPO", 4, batch, reporter);
    EXPECT_EQ(readBytes(card / "PAIR-R.jpg"), slice(pair, 10'000, 19'999));
    EXPECT_EQ(batch.totalImages, 2);
    EXPECT_EQ(reporter.messages.size(), 3u);
}

TEST_F(SplitFile, OutputsKeepTheInputsPermissionsLessTheUmask) {
    const Bytes file = mpoWithImagesAt(10'000, {0, 5'000});
    writeBytes(dir / "priv.mpo", file);
    ::chmod((dir / "priv.mpo").c_str(), 0600);
    writeBytes(dir / "a-L.jpg", Bytes(100, 1)); // an earlier run's output, readable by all
    ::chmod((dir / "a-L.jpg").c_str(), 0644);
    writeBytes(dir / "a.mpo", file);
    ::chmod((dir / "a.mpo").c_str(), 0660);
    const mode_t umask = ::umask(0027);
    splitFile(dir.path(), "priv.mpo", 1, batch, reporter);
    splitFile(dir.path(), "a.mpo", 2, batch, reporter);
    ::umask(umask);
    EXPECT_TRUE(reporter.messages.empty());
    for (const char* name : {"priv-L.jpg", "priv-R.jpg"})
        EXPECT_EQ(statOf(dir / name).st_mode & 0777, 0600u) << name;
    for (const char* name : {"a-L.jpg", "a-R.jpg"})
        EXPECT_EQ(statOf(dir / name).st_mode & 0777, 0640u) << name;
}
