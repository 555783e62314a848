// Fifos and symbolic links in a file's place, and mounted disk images: POSIX systems only.
#include "JpegBuilder.h"
#include "MpoBuilder.h"
#include "join/joinPair.h"
#include "runBatch.h"
#include "splitFile.h"

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
    EXPECT_TRUE(
        joinPair(disk / "pair-L.jpg", disk / "pair-R.jpg", disk / "pair.mpo").joined());
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
