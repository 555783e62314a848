// Fifos and symbolic links in a file's place: POSIX systems only.
#include "MpoBuilder.h"
#include "splitFile.h"

#include <gtest/gtest.h>

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
