#include "splitFile.h"
#include "MpoBuilder.h"

#include <gtest/gtest.h>

using namespace twinframe;
using namespace twinframe::test;

namespace {

using Names = std::vector<std::string>;

class SplitFile : public ::testing::Test {
  protected:
    // Writes bytes as name in the test folder and splits it as file 1 of a batch.
    void split(const std::string& name, const Bytes& bytes) {
        writeBytes(dir / name, bytes);
        splitFile(dir.path(), name, 1, batch, reporter);
    }

    // Every output of a split file, in order, concatenated.
    Bytes joined(const Names& outputs) const {
        Bytes all;
        for (const auto& name : outputs) {
            const Bytes part = readBytes(dir / name);
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }

    TempDir dir;
    BatchState batch;
    RecordingReporter reporter;
};

} // namespace

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

TEST_F(SplitFile, WriteFailureIsToldAndLeavesNoPartialFile) {
    std::filesystem::create_directory(dir / "a-R.jpg");
    const Bytes file = mpoWithImagesAt(10'000, {0, 5'000});
    split("a.mpo", file);
    EXPECT_EQ(reporter.messages, Names{"Cannot write a-R.jpg: Is a directory"});
    EXPECT_EQ(dir.names(), (Names{"a-L.jpg", "a-R.jpg", "a.mpo"}));
    EXPECT_EQ(readBytes(dir / "a-L.jpg"), slice(file, 0, 4'999));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "a-R.jpg"));
    EXPECT_EQ(batch.totalImages, 1);
}
