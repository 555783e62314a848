#include "split/splitFile.h"
#include "JpegBuilder.h"
#include "MpoBuilder.h"
#include "SplitFileFixture.h"

#include <gtest/gtest.h>

using namespace twinframe;
using namespace twinframe::test;

using Names = std::vector<std::string>;

TEST_F(SplitFile, StereoPairJustInsideTheTolerance) {
    const Bytes file = mpoWithImagesAt(1'400'000, {0, 600'001});
    split("DSCF0001.MPO", file);
    EXPECT_EQ(dir.names(), (Names{"DSCF0001-L.jpg", "DSCF0001-R.jpg", "DSCF0001.MPO"}));
    EXPECT_EQ(readBytes(dir / "DSCF0001-L.jpg"), slice(file, 0, 600'000));
    EXPECT_EQ(readBytes(dir / "DSCF0001-R.jpg"), slice(file, 600'001, 1'399'999));
    EXPECT_EQ(batch.totalImages, 2);
    EXPECT_EQ(batch.searchStart, 400'000);
    EXPECT_EQ(reporter.statuses, (Names{"File: 1, Image: 1", "File: 1, Image: 2"}));
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(SplitFile, StereoPairAtExactMiddle) {
    const Bytes file = mpoWithImagesAt(1'400'000, {0, 700'000});
    split("a.mpo", file);
    EXPECT_EQ(readBytes(dir / "a-L.jpg"), slice(file, 0, 699'999));
    EXPECT_EQ(readBytes(dir / "a-R.jpg"), slice(file, 700'000, 1'399'999));
}

TEST_F(SplitFile, StereoRightImageKeepsLaterSignatures) {
    // No further scan in a pair: whatever follows the second start is the right image.
    Bytes file = mpoWithImagesAt(1'400'000, {0, 700'000});
    placeSignature(file, 1'300'000, 0xE1);
    split("a.mpo", file);
    EXPECT_EQ(readBytes(dir / "a-R.jpg"), slice(file, 700'000, 1'399'999));
    EXPECT_EQ(batch.totalImages, 2);
}

TEST_F(SplitFile, DistanceEqualToToleranceIsMultiImage) {
    Bytes file = mpoWithImagesAt(1'400'000, {0, 600'000});
    placeSignature(file, 999'999, 0xE0); // before the next scan's start: not cut
    split("a.mpo", file);
    EXPECT_EQ(dir.names(), (Names{"a-1.jpg", "a-2.jpg", "a.mpo"}));
    EXPECT_EQ(readBytes(dir / "a-1.jpg"), slice(file, 0, 599'999));
    EXPECT_EQ(readBytes(dir / "a-2.jpg"), slice(file, 600'000, 1'399'999));
    EXPECT_EQ(batch.searchStart, 400'000);
    EXPECT_EQ(reporter.statuses, (Names{"File: 1, Image: 1", "File: 1, Image: 2"}));
}

TEST_F(SplitFile, NextScanStartsOneWindowAfterThePreviousImage) {
    Bytes file = mpoWithImagesAt(1'400'000, {0, 600'000});
    placeSignature(file, 1'000'000, 0xE0); // exactly 600,000 + 400,000
    split("a.mpo", file);
    EXPECT_EQ(readBytes(dir / "a-2.jpg"), slice(file, 600'000, 999'999));
    EXPECT_EQ(readBytes(dir / "a-3.jpg"), slice(file, 1'000'000, 1'399'999));
    EXPECT_EQ(batch.totalImages, 3);
}

TEST_F(SplitFile, SecondImageFarPastTheMiddleIsMultiImage) {
    const Bytes file = mpoWithImagesAt(1'400'000, {0, 800'000});
    split("a.mpo", file);
    EXPECT_EQ(readBytes(dir / "a-1.jpg"), slice(file, 0, 799'999));
    EXPECT_EQ(readBytes(dir / "a-2.jpg"), slice(file, 800'000, 1'399'999));
}

TEST_F(SplitFile, ThreeImagesEachGetAFile) {
    const Bytes file = mpoWithImagesAt(12'000'000, {0, 4'000'000, 8'000'000});
    split("multi.mpo", file);
    EXPECT_EQ(dir.names(), (Names{"multi-1.jpg", "multi-2.jpg", "multi-3.jpg", "multi.mpo"}));
    EXPECT_EQ(readBytes(dir / "multi-2.jpg"), slice(file, 4'000'000, 7'999'999));
    EXPECT_EQ(readBytes(dir / "multi-3.jpg"), slice(file, 8'000'000, 11'999'999));
    EXPECT_EQ(batch.totalImages, 3);
    EXPECT_EQ(batch.searchStart, 2'666'666);
    EXPECT_EQ(reporter.statuses.back(), "File: 1, Image: 3");
}

TEST_F(SplitFile, ImageShorterThanTheWindowStaysWithTheOneBefore) {
    const Bytes file = mpoWithImagesAt(12'000'000, {0, 4'000'000, 5'000'000});
    split("multi.mpo", file);
    EXPECT_EQ(dir.names(), (Names{"multi-1.jpg", "multi-2.jpg", "multi.mpo"}));
    EXPECT_EQ(readBytes(dir / "multi-2.jpg"), slice(file, 4'000'000, 11'999'999));
    EXPECT_EQ(batch.totalImages, 2);
}

TEST_F(SplitFile, SingleImageGivesAnIdenticalJpg) {
    const Bytes file = jpegLike(50'000);
    split("single.mpo", file);
    EXPECT_EQ(readBytes(dir / "single.jpg"), file);
    EXPECT_EQ(batch.totalImages, 1);
    EXPECT_EQ(batch.searchStart, 0);
    EXPECT_EQ(reporter.statuses, Names{"File: 1, Image: 1"});
}

TEST_F(SplitFile, SizeCheckDrawsTheLineAtHundredBytes) {
    split("tiny.mpo", jpegLike(100));
    EXPECT_EQ(reporter.messages, Names{"tiny.mpo too small to be a valid file"});
    split("small.mpo", jpegLike(101));
    EXPECT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(dir.names(), (Names{"small.jpg", "small.mpo", "tiny.mpo"}));
}

TEST_F(SplitFile, OnlyAnExifStartMakesAnMpoFile) {
    split("jfif.mpo", jpegLike(10'000, 0xE0));
    split("text.mpo", Bytes(500, 'x'));
    EXPECT_EQ(reporter.messages,
              (Names{"jfif.mpo is not a valid MPO file", "text.mpo is not a valid MPO file"}));
    EXPECT_EQ(dir.names(), (Names{"jfif.mpo", "text.mpo"}));
    EXPECT_EQ(batch.totalImages, 0);
}

TEST_F(SplitFile, OutputNamesDropTheLastFourCharacters) {
    EXPECT_EQ(outputName("DSCF0001.MPO", "-L"), "DSCF0001-L.jpg");
    EXPECT_EQ(outputName("x.mpo", "-12"), "x-12.jpg");
    EXPECT_EQ(outputName("Straße.mpo", ""), "Straße.jpg");
    EXPECT_EQ(outputName("abcdé", "-R"), "a-R.jpg"); // characters, not bytes
    EXPECT_EQ(outputName("abc", ""), ".jpg");
}

TEST_F(SplitFile, OutputsJoinedAreTheInput) {
    const std::vector<std::pair<std::string, Bytes>> files = {
        {"pair.mpo", mpoWithImagesAt(300'000, {0, 149'000})},
        {"multi.mpo", mpoWithImagesAt(300'000, {0, 50'000, 120'000, 200'000})},
        {"one.mpo", jpegLike(4'000)},
    };
    const std::vector<Names> outputs = {
        {"pair-L.jpg", "pair-R.jpg"},
        {"multi-1.jpg", "multi-2.jpg", "multi-3.jpg", "multi-4.jpg"},
        {"one.jpg"}};
    for (std::size_t i = 0; i < files.size(); ++i) {
        batch.searchStart = 0;
        split(files[i].first, files[i].second);
        EXPECT_EQ(joined(outputs[i]), files[i].second) << files[i].first;
    }
    EXPECT_EQ(batch.totalImages, 7);
}

TEST_F(SplitFile, CarriedSearchStartMovesTheFirstScanAndTheSizeCheck) {
    Bytes file = mpoWithImagesAt(10'000, {0, 5'000});
    placeSignature(file, 2'000, 0xE0);
    batch.searchStart = 2'000; // the scan starts at 2,001
    split("a.mpo", file);
    EXPECT_EQ(readBytes(dir / "a-L.jpg"), slice(file, 0, 4'999));

    batch.searchStart = 9'900; // 10,000 is not above 9,900 + 100
    split("b.mpo", file);
    EXPECT_EQ(reporter.messages, Names{"b.mpo too small to be a valid file"});
}

TEST_F(SplitFile, KeepsTheFolderPartOfTheListedName) {
    std::filesystem::create_directory(dir / "sub");
    const Bytes file = mpoWithImagesAt(10'000, {0, 5'000});
    writeBytes(dir / "sub" / "a.mpo", file);
    writeBytes(dir / "sub" / "b.mpo", jpegLike(50));
    splitFile(dir.path(), "sub/a.mpo", 1, batch, reporter);
    splitFile(dir.path(), "sub/b.mpo", 2, batch, reporter);
    EXPECT_EQ(readBytes(dir / "sub" / "a-R.jpg"), slice(file, 5'000, 9'999));
    EXPECT_EQ(reporter.messages, Names{"sub/b.mpo too small to be a valid file"});
}

TEST_F(SplitFile, NeverOverwritesAnOutputOfTheSameBatch) {
    const Bytes first = mpoWithImagesAt(10'000, {0, 5'000});
    const Bytes second = mpoWithImagesAt(20'000, {0, 10'000});
    split("a.mpo", first);
    split("a.MPO", second);
    const Bytes multi = mpoWithImagesAt(9'000, {0, 3'000, 6'000});
    batch.searchStart = 0;
    split("x.mpo", multi);
    batch.searchStart = 0;
    split("x-1.mpo", jpegLike(500)); // would write x-1.jpg
    EXPECT_EQ(reporter.messages,
              (Names{"a.MPO not split: a-L.jpg was already written in this batch from a.mpo",
                     "x-1.mpo not split: x-1.jpg was already written in this batch from x.mpo"}));
    EXPECT_EQ(readBytes(dir / "a-L.jpg"), slice(first, 0, 4'999));
    EXPECT_EQ(readBytes(dir / "a-R.jpg"), slice(first, 5'000, 9'999));
    EXPECT_EQ(readBytes(dir / "x-1.jpg"), slice(multi, 0, 2'999));
    EXPECT_EQ(batch.totalImages, 5);
}

TEST_F(SplitFile, ReplacesOutputsLeftByAnEarlierRun) {
    writeBytes(dir / "a-L.jpg", Bytes(70'000, 7));
    const Bytes file = mpoWithImagesAt(10'000, {0, 5'000});
    split("a.mpo", file);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_EQ(readBytes(dir / "a-L.jpg"), slice(file, 0, 4'999));
}

// A file is split whole or not at all: a folder in the way of its last output leaves its first
// unwritten, and an earlier run's output of that name as it was.
TEST_F(SplitFile, WriteFailureOfTheLastOutputLeavesNoneOfTheFile) {
    writeBytes(dir / "a-L.jpg", Bytes(300, 7)); // an earlier run's
    std::filesystem::create_directory(dir / "a-R.jpg");
    const Bytes file = mpoWithImagesAt(10'000, {0, 5'000});
    split("a.mpo", file);
    EXPECT_EQ(reporter.messages, Names{"Cannot write a-R.jpg: Is a directory"});
    EXPECT_EQ(dir.names(), (Names{"a-L.jpg", "a-R.jpg", "a.mpo"}));
    EXPECT_EQ(readBytes(dir / "a-L.jpg"), Bytes(300, 7));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "a-R.jpg"));
    EXPECT_EQ(batch.totalImages, 0);

    // The same in a file of three images, and with nothing there before.
    std::filesystem::create_directory(dir / "m-3.jpg");
    split("m.mpo", mpoWithImagesAt(12'000'000, {0, 4'000'000, 8'000'000}));
    EXPECT_EQ(reporter.messages.back(), "Cannot write m-3.jpg: Is a directory");
    EXPECT_EQ(dir.names(), (Names{"a-L.jpg", "a-R.jpg", "a.mpo", "m-3.jpg", "m.mpo"}));
    EXPECT_EQ(batch.totalImages, 0);
    EXPECT_TRUE(batch.written.empty());
}

namespace {

// A file of count images, each the four bytes FF D8 FF E1: the smallest file that cuts into
// that many outputs.
Bytes repeatedSignatures(std::size_t count) {
    Bytes file;
    for (std::size_t i = 0; i < count; ++i)
        file.insert(file.end(), {0xFF, 0xD8, 0xFF, 0xE1});
    return file;
}

} // namespace

// A stereo camera's own 2D JPEG beside its MPO, and the input itself: a one-image output is
// never written over a file that is not an earlier run's copy of the same bytes.
TEST_F(SplitFile, OneImageNeverReplacesADifferentFileOfItsName) {
    const Bytes camerasJpeg = jpegLike(30'000, 0xE1, 7);
    writeBytes(dir / "DSCF0001.jpg", camerasJpeg);
    const auto before = identityOf(dir / "DSCF0001.jpg");
    split("DSCF0001.MPO", jpegLike(40'000)); // a cut-short MPO: one image
    EXPECT_EQ(reporter.messages,
              Names{"DSCF0001.MPO not split: a different DSCF0001.jpg is already there"});
    EXPECT_EQ(readBytes(dir / "DSCF0001.jpg"), camerasJpeg);
    EXPECT_EQ(identityOf(dir / "DSCF0001.jpg"), before);
    EXPECT_EQ(batch.totalImages, 0);

    // The same bytes, as an earlier run left them: counted, and not written again.
    const Bytes single = jpegLike(20'000);
    writeBytes(dir / "single.jpg", single);
    const auto earlier = identityOf(dir / "single.jpg");
    split("single.mpo", single);
    EXPECT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(identityOf(dir / "single.jpg"), earlier);
    EXPECT_EQ(batch.totalImages, 1);
    EXPECT_EQ(reporter.statuses.back(), "File: 1, Image: 1");
}

// The same refusal and the same second run for a name outside ASCII: the existing file's name
// comes back from the folder and must name that file again, whatever the system's code page.
TEST_F(SplitFile, NonAsciiOneImageSplitTwiceThenRefused) {
    const Bytes single = jpegLike(20'000);
    split("Café 3D.mpo", single);
    const auto first = identityOf(dir / "Café 3D.jpg");
    batch = BatchState{}; // each split a batch of its own, as two runs of the program
    split("Café 3D.mpo", single);
    EXPECT_EQ(reporter.messages, Names{});
    EXPECT_EQ(batch.totalImages, 1);
    EXPECT_EQ(identityOf(dir / "Café 3D.jpg"), first); // not written again
    EXPECT_EQ(readBytes(dir / "Café 3D.jpg"), single);

    const Bytes other = jpegLike(30'000, 0xE1, 7);
    writeBytes(dir / "Café 3D.jpg", other);
    batch = BatchState{};
    split("Café 3D.mpo", single);
    EXPECT_EQ(reporter.messages,
              Names{"Café 3D.mpo not split: a different Café 3D.jpg is already there"});
    EXPECT_EQ(readBytes(dir / "Café 3D.jpg"), other);
    EXPECT_EQ(dir.names(), (Names{"Café 3D.jpg", "Café 3D.mpo"}));
}

// Where the folder itself ignores letter case (any Windows folder), the camera's DSCF0001.JPG
// is what the output's name DSCF0001.jpg reaches, and the message names it as the folder does.
TEST_F(SplitFile, OneImageKeepsTheCamerasJpegWhereTheFolderIgnoresCase) {
    const Bytes camerasJpeg = jpegLike(30'000, 0xE1, 7);
    writeBytes(dir / "DSCF0001.JPG", camerasJpeg);
    if (!identityOf(dir / "DSCF0001.jpg"))
        GTEST_SKIP() << "this folder tells letter cases apart (a FAT card's case is tested below)";
    split("DSCF0001.MPO", jpegLike(40'000));
    EXPECT_EQ(reporter.messages,
              Names{"DSCF0001.MPO not split: a different DSCF0001.JPG is already there"});
    EXPECT_EQ(readBytes(dir / "DSCF0001.JPG"), camerasJpeg);
    EXPECT_EQ(dir.names(), (Names{"DSCF0001.JPG", "DSCF0001.MPO"}));
}

// The input under an output's name, through a hard link: its identity tells it, and it is
// neither written nor counted.
TEST_F(SplitFile, OutputOfTheInputsOwnIdentityIsNotWritten) {
    const Bytes file = jpegLike(20'000);
    writeBytes(dir / "solo.jpg", file);
    std::filesystem::create_hard_link(dir / "solo.jpg", dir / "keep.jpg");
    const auto before = identityOf(dir / "solo.jpg");
    ASSERT_TRUE(before);
    splitFile(dir.path(), "solo.jpg", 1, batch, reporter);
    EXPECT_EQ(reporter.messages, Names{"solo.jpg not split: solo.jpg is the file itself"});
    EXPECT_EQ(identityOf(dir / "solo.jpg"), before);
    EXPECT_EQ(identityOf(dir / "keep.jpg"), before);
    EXPECT_EQ(readBytes(dir / "solo.jpg"), file);

    // A pair whose -L name is the MPO itself.
    const Bytes pair = mpoWithImagesAt(10'000, {0, 5'000});
    writeBytes(dir / "p.mpo", pair);
    std::filesystem::create_hard_link(dir / "p.mpo", dir / "p-L.jpg");
    splitFile(dir.path(), "p.mpo", 2, batch, reporter);
    EXPECT_EQ(reporter.messages.back(), "p.mpo not split: p-L.jpg is the file itself");
    EXPECT_EQ(readBytes(dir / "p.mpo"), pair);
    EXPECT_FALSE(std::filesystem::exists(dir / "p-R.jpg"));
    EXPECT_EQ(batch.totalImages, 0);
}

// One small file could otherwise fill a disk: 4 bytes of input per output file.
TEST_F(SplitFile, FileOfMoreThanAThousandImagesIsNotSplit) {
    split("bomb.mpo", repeatedSignatures(kMostImages + 1));
    EXPECT_EQ(reporter.messages, Names{"bomb.mpo not split: it would give more than 1000 images"});
    EXPECT_EQ(dir.names(), Names{"bomb.mpo"});
    EXPECT_TRUE(reporter.statuses.empty());
    EXPECT_EQ(batch.totalImages, 0);

    const Bytes most = repeatedSignatures(kMostImages);
    split("most.mpo", most);
    // Split all the same; its last image, four bytes, is no whole image either.
    EXPECT_EQ(reporter.messages.back(),
              "most.mpo may be incomplete: image 1000 ends before its end marker");
    EXPECT_EQ(reporter.messages.size(), 2u);
    EXPECT_EQ(batch.totalImages, 1000);
    EXPECT_EQ(readBytes(dir / "most-1000.jpg"), slice(most, 3'996, 3'999));

    // The index says so before any scan.
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i <= kMostImages; ++i)
        starts.push_back(i == 0 ? 0 : 20'000 + i * 400); // the first image holds the index
    Bytes many = mpoWithImagesAt(starts.back() + 400, {0});
    for (std::size_t i = 1; i < starts.size(); ++i)
        placeSignature(many, starts[i]);
    writeMpIndex(many, starts);
    EXPECT_TRUE(planSplit(many, 0).tooManyImages);
    starts.pop_back();
    writeMpIndex(many, starts);
    const SplitPlan plan = planSplit(many, 0);
    EXPECT_FALSE(plan.tooManyImages);
    EXPECT_EQ(plan.chunks.size(), kMostImages);
}

// A file that takes the one image's name while the copy is being written (the camera's own JPEG,
// another program's) is kept, and told as one that was there before; the same bytes there (a
// run beside this one) count as the image. The sink's watcher writes it in at the last moment.
TEST_F(SplitFile, OneImageNeverReplacesAFileThatAppearsWhileItIsWritten) {
    FileChunkSink sink;
    batch.sink = &sink;
    const Bytes camerasJpeg = jpegLike(30'000, 0xE1, 7);
    Bytes appearing = camerasJpeg;
    sink.setWatcher([&](PublishStep step, const std::filesystem::path& path) {
        if (step == PublishStep::name)
            writeBytes(path, appearing);
    });
    split("DSCF0001.MPO", jpegLike(40'000));
    EXPECT_EQ(reporter.messages,
              Names{"DSCF0001.MPO not split: a different DSCF0001.jpg is already there"});
    EXPECT_EQ(readBytes(dir / "DSCF0001.jpg"), camerasJpeg);
    EXPECT_EQ(dir.names(), (Names{"DSCF0001.MPO", "DSCF0001.jpg"}));
    EXPECT_EQ(batch.totalImages, 0);

    const Bytes single = jpegLike(20'000);
    appearing = single;
    split("single.mpo", single);
    EXPECT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(readBytes(dir / "single.jpg"), single);
    EXPECT_EQ(batch.totalImages, 1);
    EXPECT_EQ(batch.written.size(), 1u);

    // A pair replaces an earlier run's outputs, also one written in at the last moment.
    const Bytes pair = mpoWithImagesAt(10'000, {0, 5'000});
    appearing = Bytes(100, 3);
    split("p.mpo", pair);
    EXPECT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(readBytes(dir / "p-L.jpg"), slice(pair, 0, 4'999));
    EXPECT_EQ(readBytes(dir / "p-R.jpg"), slice(pair, 5'000, 9'999));
}

// A copy cut short inside its last image (a card pulled while the camera wrote) is split as any
// file, and told: inside the header of its only image, or inside the compressed data of its
// right image. A whole file with a camera's padding after its end marker is not.
TEST_F(SplitFile, FileCutShortInsideItsLastImageIsToldAsMaybeIncomplete) {
    const Bytes one = buildJpeg({.dataSize = 40'000, .seed = 3}).bytes;
    const Bytes cutInHeader = slice(one, 0, 150); // inside the Exif segment
    split("DSCF0001.MPO", cutInHeader);
    EXPECT_EQ(reporter.messages,
              Names{"DSCF0001.MPO may be incomplete: image 1 ends before its end marker"});
    EXPECT_EQ(readBytes(dir / "DSCF0001.jpg"), cutInHeader);
    EXPECT_EQ(batch.totalImages, 1);

    Bytes pair = buildJpeg({.dataSize = 30'000, .seed = 4}).bytes;
    const std::size_t rightStart = pair.size();
    const Bytes right = buildJpeg({.dataSize = 30'000, .padding = 300, .seed = 5}).bytes;
    pair.insert(pair.end(), right.begin(), right.end());
    split("whole.MPO", pair);
    EXPECT_EQ(reporter.messages.size(), 1u);
    EXPECT_EQ(readBytes(dir / "whole-R.jpg"), right);

    const Bytes cutInData = slice(pair, 0, rightStart + right.size() - 2'000);
    split("cut.MPO", cutInData);
    EXPECT_EQ(reporter.messages.back(),
              "cut.MPO may be incomplete: image 2 ends before its end marker");
    EXPECT_EQ(readBytes(dir / "cut-L.jpg"), slice(pair, 0, rightStart - 1));
    EXPECT_EQ(readBytes(dir / "cut-R.jpg"), slice(cutInData, rightStart, cutInData.size() - 1));
    EXPECT_EQ(batch.totalImages, 5);
}
