// Links, fifos and the system's texts for them: POSIX systems only.
#include "JpegBuilder.h"
#include "MpoBuilder.h"
#include "joinPair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace twinframe;
using namespace twinframe::test;

namespace fs = std::filesystem;

TEST(JoinPair, NeverReplacesAFileAndWritesNothingForABadPair) {
    TempDir dir;
    const Bytes picture = buildJpeg({}).bytes;
    writeBytes(dir / "a-L.jpg", picture);
    writeBytes(dir / "a-R.jpg", picture);
    writeBytes(dir / "a.mpo", {1, 2, 3});
    EXPECT_EQ(joinPair(dir / "a-L.jpg", dir / "a-R.jpg", dir / "a.mpo").problem,
              "Cannot write " + (dir / "a.mpo").string() + ": a file of that name exists");
    EXPECT_EQ(readBytes(dir / "a.mpo"), (Bytes{1, 2, 3}));

    // A dangling link is a name taken too: writing through it would create its target.
    fs::create_symlink(dir / "nowhere.mpo", dir / "b.mpo");
    EXPECT_FALSE(joinPair(dir / "a-L.jpg", dir / "a-R.jpg", dir / "b.mpo").joined());

    EXPECT_EQ(joinPair(dir / "a-L.jpg", dir / "c-R.jpg", dir / "c.mpo").problem,
              "Cannot open " + (dir / "c-R.jpg").string() + ": No such file or directory");
    writeBytes(dir / "junk-R.jpg", jpegLike(3000)); // FF D8 FF E1, then no segments
    EXPECT_EQ(joinPair(dir / "a-L.jpg", dir / "junk-R.jpg", dir / "d.mpo").problem,
              (dir / "junk-R.jpg").string() + " is not a valid JPEG file");
    writeBytes(dir / "two-R.jpg", [&] {
        Bytes two = picture;
        two.insert(two.end(), picture.begin(), picture.end());
        return two;
    }());
    EXPECT_EQ(joinPair(dir / "a-L.jpg", dir / "two-R.jpg", dir / "e.mpo").problem,
              (dir / "two-R.jpg").string() +
                  " is a whole MPO file: a second picture follows its end");
    ::mkfifo((dir / "fifo-R.jpg").c_str(), 0600);
    EXPECT_EQ(joinPair(dir / "a-L.jpg", dir / "fifo-R.jpg", dir / "f.mpo").problem,
              "Cannot read " + (dir / "fifo-R.jpg").string() + ": Not a regular file");
    EXPECT_EQ(joinPair(dir / "a-L.jpg", dir / "a-R.jpg", dir / "none" / "g.mpo").problem,
              "Cannot write " + (dir / "none" / "g.mpo").string() + ": No such file or directory");

    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a-L.jpg", "a-R.jpg", "a.mpo", "b.mpo",
                                                     "fifo-R.jpg", "junk-R.jpg", "two-R.jpg"}));
}
