// Links, fifos and the system's texts for them: POSIX systems only.
#include "JpegBuilder.h"
#include "MpoBuilder.h"
#include "join/joinPair.h"

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

TEST(JoinPair, RefusesCutShortPicturesAndOnePictureTwiceWritingNothing) {
    TempDir dir;
    const BuiltJpeg picture = buildJpeg({});
    writeBytes(dir / "a-L.jpg", picture.bytes);
    writeBytes(dir / "a-R.jpg", buildJpeg({.seed = 2}).bytes);
    const Bytes cut = slice(picture.bytes, 0, picture.imageEnd - 40); // an interrupted copy
    writeBytes(dir / "p-L.jpg", cut);
    writeBytes(dir / "q-R.jpg", cut);
    EXPECT_EQ(joinPair(dir / "p-L.jpg", dir / "a-R.jpg", dir / "p.mpo").problem,
              (dir / "p-L.jpg").string() +
                  " is not a complete JPEG file: it ends before its end marker");
    EXPECT_EQ(joinPair(dir / "a-L.jpg", dir / "q-R.jpg", dir / "q.mpo").problem,
              (dir / "q-R.jpg").string() +
                  " is not a complete JPEG file: it ends before its end marker");

    std::filesystem::create_hard_link(dir / "a-L.jpg", dir / "h-R.jpg");
    std::filesystem::create_symlink("a-L.jpg", dir / "s-R.jpg");
    for (const char* right : {"h-R.jpg", "s-R.jpg"})
        EXPECT_EQ(joinPair(dir / "a-L.jpg", dir / right, dir / "x.mpo").problem,
                  (dir / "a-L.jpg").string() + " and " + (dir / right).string() +
                      " are the same file");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a-L.jpg", "a-R.jpg", "h-R.jpg", "p-L.jpg",
                                                     "q-R.jpg", "s-R.jpg"}));
}
