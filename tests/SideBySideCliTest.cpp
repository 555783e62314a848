#include "CliRun.h"
#include "StereoViews.h"
#include "SystemTexts.h"
#include "stereo/sideBySide.h"

#include <gtest/gtest.h>

using namespace twinframe;
using namespace twinframe::test;

namespace {

namespace fs = std::filesystem;

// An output found in a folder as the tool names it: with the system's separator.
std::string inFolder(const std::string& folder, const std::string& leaf) {
    return utf8Text(pathFromUtf8(folder) / pathFromUtf8(leaf));
}

// The picture without its APP3 segments: a side-by-side picture that does not say its order.
Bytes withoutDescriptor(const Bytes& jpeg) {
    Bytes kept(jpeg.begin(), jpeg.begin() + 2);
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        const std::size_t end = at + 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
        if (jpeg[at + 1] != 0xE3)
            kept.insert(kept.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at),
                        jpeg.begin() + static_cast<std::ptrdiff_t>(end));
        at = end;
    }
    kept.insert(kept.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
    return kept;
}

} // namespace

TEST(SideBySideCli, MakesPicturesOfMpoFilesPairsAndFolders) {
    TempDir dir;
    const StereoViews views;
    writeBytes(dir / "a.MPO", views.mpo());
    views.writePictures(dir, "b");
    fs::create_directory(dir / "trip");
    writeBytes(dir / "trip/d.mpo", views.mpo());
    views.writePictures(dir, "trip/d"); // split from d.mpo already: the pair is taken once
    views.writePictures(dir, "trip/c");
    views.writePictures(dir, "trip/.hidden");
    writeBytes(dir / "trip/notes.txt", {'n', 'o'});

    // A glob that names both pictures of a pair takes the pair once.
    const CliRun run = runCli(dir, "--side-by-side a.MPO b-*.jpg trip");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Pair: 1, a.jps\nPair: 2, b.jps\nPair: 3, " + inFolder("trip", "c.jps") +
                           "\nPair: 4, " + inFolder("trip", "d.jps") +
                           "\nPictures made side by side: 4\n");
    EXPECT_EQ(run.err, "");
    // Cross-eyed: the right eye's picture on the left, each half exactly its picture.
    for (const char* made : {"a.jps", "b.jps", "trip/c.jps", "trip/d.jps"}) {
        SCOPED_TRACE(made);
        const auto [first, second] = halvesOf(dir / made);
        EXPECT_TRUE(first == views.rightPixels);
        EXPECT_TRUE(second == views.leftPixels);
    }
    EXPECT_FALSE(fs::exists(dir / "trip/.hidden.jps"));

    const CliRun parallel = runCli(dir, "--side-by-side --parallel --quiet a.MPO b-L.jpg");
    EXPECT_EQ(parallel.exitCode, 0) << parallel.err;
    EXPECT_EQ(parallel.out, "Pictures made side by side: 2\n");
    for (const char* made : {"a-LR.jpg", "b-LR.jpg"}) {
        SCOPED_TRACE(made);
        const auto [first, second] = halvesOf(dir / made);
        EXPECT_TRUE(first == views.leftPixels);
        EXPECT_TRUE(second == views.rightPixels);
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a-LR.jpg", "a.MPO", "a.jps", "b-L.jpg",
                                                     "b-LR.jpg", "b-R.jpg", "b.jps", "trip"}));
}

TEST(SideBySideCli, KeepsEveryFileThereAndRefusesWhatIsNoStereoPair) {
    TempDir dir;
    const StereoViews views;
    writeBytes(dir / "a.MPO", views.mpo());
    writeBytes(dir / "a.jps", {'m', 'i', 'n', 'e'});
    writeBytes(dir / "one.mpo", views.left);
    Bytes three = views.left;
    for (const Bytes* more : {&views.right, &views.left})
        three.insert(three.end(), more->begin(), more->end());
    writeBytes(dir / "three.mpo", three);
    writeBytes(dir / "c-L.jpg", views.left);
    writeBytes(dir / "x-R.jpg", views.right);
    writeBytes(dir / "p.mpo", views.mpo());
    views.writePictures(dir, "p");

    const CliRun run =
        runCli(dir, "--side-by-side a.MPO one.mpo three.mpo c-L.jpg x-R.jpg p.mpo p-L.jpg");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Pair: 1, a.jps\nPair: 2, one.jps\nPair: 3, three.jps\nPair: 4, c.jps\n"
                       "Pair: 5, p.jps\nPair: 6, p.jps\nPictures made side by side: 1\n");
    EXPECT_EQ(run.err,
              "twinframe-cli: Cannot write a.jps: a file of that name exists\n"
              "twinframe-cli: one.mpo is not a stereo pair: it holds one image\n"
              "twinframe-cli: three.mpo is not a stereo pair: it holds 3 images\n"
              "twinframe-cli: Cannot open c-R.jpg: " +
                  missingFileText() +
                  "\n"
                  "twinframe-cli: x-R.jpg is not a left picture: its name must end in -L.jpg\n"
                  "twinframe-cli: Cannot write p.jps: it was already written in this batch from "
                  "p.mpo\n");
    EXPECT_EQ(readBytes(dir / "a.jps"), (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_TRUE(halvesOf(dir / "p.jps").first == views.rightPixels);
    EXPECT_EQ(dir.names(),
              (std::vector<std::string>{"a.MPO", "a.jps", "c-L.jpg", "one.mpo", "p-L.jpg",
                                        "p-R.jpg", "p.jps", "p.mpo", "three.mpo", "x-R.jpg"}));
}

// Made side by side and cut back, a pair is the same pictures again, pixel for pixel, in an MPO
// the split takes as a stereo pair; the order a picture says wins over the one assumed.
TEST(SideBySideCli, RoundTripGivesAnMpoOfTheSamePictures) {
    TempDir dir;
    const StereoViews views;
    fs::create_directory(dir / "back");
    writeBytes(dir / "v.MPO", views.mpo());
    ASSERT_EQ(runCli(dir, "--side-by-side --quiet v.MPO").exitCode, 0);
    ASSERT_EQ(runCli(dir, "--side-by-side --parallel --quiet v.MPO").exitCode, 0);
    fs::rename(dir / "v.jps", dir / "back/v.jps");
    fs::rename(dir / "v-LR.jpg", dir / "back/w-lr.JPG");

    const CliRun run = runCli(dir, "--from-side-by-side back back/w-lr.JPG");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Picture: 1, " + inFolder("back", "v.mpo") +
                           "\nPicture: 2, back/w.mpo\n"
                           "Side-by-side pictures joined into MPO files: 2\n");
    for (const char* made : {"back/v.mpo", "back/w.mpo"}) {
        SCOPED_TRACE(made);
        const auto [left, right] = viewsOf(dir / made);
        EXPECT_TRUE(left == views.leftPixels);
        EXPECT_TRUE(right == views.rightPixels);
    }

    // Without its descriptor a .jpg is parallel unless --cross says otherwise; with it, --cross
    // changes nothing.
    const Bytes parallel = readBytes(dir / "back/w-lr.JPG");
    ASSERT_TRUE(describedOrder(parallel) == StereoOrder::parallel);
    ASSERT_FALSE(describedOrder(withoutDescriptor(parallel)));
    writeBytes(dir / "x.jpg", withoutDescriptor(parallel));
    writeBytes(dir / "y-LR.jpg", parallel);
    const CliRun cross = runCli(dir, "--from-side-by-side --cross --quiet x.jpg y-LR.jpg");
    EXPECT_EQ(cross.exitCode, 0) << cross.err;
    EXPECT_TRUE(viewsOf(dir / "x.mpo").first == views.rightPixels);
    EXPECT_TRUE(viewsOf(dir / "y.mpo").first == views.leftPixels);

    const CliRun again = runCli(dir, "--from-side-by-side back/v.jps notes.txt");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.out, "Picture: 1, back/v.mpo\n"
                         "Side-by-side pictures joined into MPO files: 0\n");
    EXPECT_EQ(again.err, "twinframe-cli: Cannot write back/v.mpo: a file of that name exists\n"
                         "twinframe-cli: notes.txt is not a side-by-side picture: its name must "
                         "end in .jps or .jpg\n");
}

TEST(SideBySideCli, UsageErrorsExitWithTwo) {
    TempDir dir;
    const StereoViews views;
    writeBytes(dir / "a.MPO", views.mpo());
    for (const char* arguments :
         {"--side-by-side --join a.MPO", "--side-by-side --from-side-by-side a.MPO",
          "--parallel a.MPO", "--cross a.jps", "--side-by-side --cross a.MPO",
          "--from-side-by-side --parallel a.jps", "--side-by-side --speed-hack a.MPO",
          "--side-by-side --output o.jps a.MPO", "--side-by-side", "--from-side-by-side"}) {
        SCOPED_TRACE(arguments);
        const CliRun run = runCli(dir, arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("Try 'twinframe-cli --help'"), std::string::npos);
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.MPO"}));
    const std::string help = runCli(dir, "--help").out;
    for (const char* option : {"--side-by-side", "--parallel", "--from-side-by-side", "--cross"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
}
