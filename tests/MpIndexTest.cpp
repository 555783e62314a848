#include "format/mpIndex.h"
#include "MpoBuilder.h"
#include "format/jpegSegments.h"
#include "split/saveChunkCode.h"
#include "split/splitFile.h"

#include <gtest/gtest.h>

#include <functional>

using namespace twinframe;
using namespace twinframe::test;

namespace {

using Names = std::vector<std::string>;
using Offsets = std::vector<std::int64_t>;

// The plan the scan alone makes for bytes: what a file without a usable index gets.
SplitPlan scanPlan(const Bytes& bytes, std::int64_t searchStart = 0) {
    return planSplit(static_cast<std::int64_t>(bytes.size()), searchStart,
                     [&](std::int64_t from) { return findImageStart(bytes, from); });
}

std::vector<std::pair<std::int64_t, std::int64_t>> rangesOf(const SplitPlan& plan) {
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    for (const Chunk& chunk : plan.chunks)
        ranges.emplace_back(chunk.first, chunk.last);
    return ranges;
}

class SplitWithIndex : public ::testing::Test {
  protected:
    void split(const std::string& name, const Bytes& bytes) {
        writeBytes(dir / name, bytes);
        splitFile(dir.path(), name, 1, batch, reporter);
    }
    // Each output holds exactly the given inclusive range of bytes.
    void
    expectOutputs(const Bytes& file,
                  std::vector<std::pair<std::string, std::pair<std::size_t, std::size_t>>> want) {
        for (const auto& [name, range] : want)
            EXPECT_EQ(readBytes(dir / name), slice(file, range.first, range.second)) << name;
    }

    TempDir dir;
    BatchState batch;
    RecordingReporter reporter;
};

} // namespace

TEST(WalkSegments, SkipsFillBytesAndBareMarkersAndNeverReadsPastTheEnd) {
    // SOI, fill, APP1 (2 data bytes), RST0, APP2 (no data), SOS.
    const Bytes image = {0xFF, 0xD8, 0xFF, 0xFF, 0xE1, 0,    4,    1, 2, 0xFF,
                         0xD0, 0xFF, 0xE2, 0,    2,    0xFF, 0xDA, 0, 2};
    std::vector<std::uint8_t> markers;
    const SegmentWalk walk = walkSegments(image, [&](const JpegSegment& segment) {
        markers.push_back(segment.marker);
        return true;
    });
    EXPECT_EQ(markers, (std::vector<std::uint8_t>{0xE1, 0xD0, 0xE2}));
    EXPECT_EQ(walk.end, SegmentWalkEnd::startOfScan);
    EXPECT_EQ(walk.offset, 15u);

    const auto endOf = [](const Bytes& bytes) {
        return walkSegments(bytes, [](const JpegSegment&) { return true; }).end;
    };
    EXPECT_EQ(endOf({0xFF, 0xD8, 0xFF, 0xE1, 0, 9, 1}), SegmentWalkEnd::pastEnd);
    EXPECT_EQ(endOf({0xFF, 0xD8, 0xFF, 0xE1, 0, 1, 1}), SegmentWalkEnd::pastEnd);
    EXPECT_EQ(endOf({0xFF, 0xD8, 0x12}), SegmentWalkEnd::notAMarker);
    EXPECT_EQ(endOf({0xFF, 0xD8, 0xFF, 0xD9}), SegmentWalkEnd::endOfImage);
}

TEST(ReadMpIndex, ReadsStartsAndSizesInBothByteOrders) {
    for (const bool littleEndian : {true, false}) {
        const IndexedMpo file = mpoWithIndex(900'000, {0, 300'000, 650'000}, littleEndian);
        const MpIndex index = readMpIndex(file.bytes);
        EXPECT_EQ(index.state, MpIndexState::usable);
        EXPECT_EQ(index.starts, (Offsets{0, 300'000, 650'000}));
        EXPECT_EQ(index.sizes, (Offsets{300'000, 350'000, 250'000}));
    }
}

TEST(ReadMpIndex, AnIndexThatCannotBeRightLeavesTheScansPlan) {
    // Each way an index can be wrong, applied to a file whose first image holds a thumbnail, so
    // a wrongly trusted index and the scan would cut differently.
    using Breakage = std::function<void(Bytes&, const MpIndexLayout&)>;
    const auto entry = [](const MpIndexLayout& at, std::size_t k, std::size_t field) {
        return at.entries + 16 * k + field;
    };
    const std::vector<std::pair<const char*, Breakage>> breakages = {
        {"no MPF segment", [](Bytes& b, const MpIndexLayout& at) { b[at.app2 + 6] = 'X'; }},
        {"bad byte order mark", [](Bytes& b, const MpIndexLayout& at) { b[at.base] = 'X'; }},
        {"missing NumberOfImages",
         [](Bytes& b, const MpIndexLayout& at) { putNumber(b, at.ifd + 14, 0xB00F, 2, true); }},
        {"missing MPEntry",
         [](Bytes& b, const MpIndexLayout& at) { putNumber(b, at.ifd + 26, 0xB00F, 2, true); }},
        {"one image",
         [](Bytes& b, const MpIndexLayout& at) { putNumber(b, at.ifd + 22, 1, 4, true); }},
        {"MPEntry too short",
         [](Bytes& b, const MpIndexLayout& at) { putNumber(b, at.ifd + 30, 31, 4, true); }},
        {"MPEntry outside the file",
         [](Bytes& b, const MpIndexLayout& at) { putNumber(b, at.ifd + 34, 0xFFFFFFF0, 4, true); }},
        {"second offset 0",
         [&](Bytes& b, const MpIndexLayout& at) { putNumber(b, entry(at, 1, 8), 0, 4, true); }},
        {"starts out of order",
         [&](Bytes& b, const MpIndexLayout& at) {
             putNumber(b, entry(at, 2, 8), static_cast<std::uint32_t>(200'000 - at.base), 4, true);
         }},
        {"overlapping images",
         [&](Bytes& b, const MpIndexLayout& at) {
             putNumber(b, entry(at, 0, 4), 300'001, 4, true);
         }},
        {"no start-of-image at a start",
         [&](Bytes& b, const MpIndexLayout& at) {
             putNumber(b, entry(at, 2, 4), 240'000, 4, true);
             putNumber(b, entry(at, 2, 8), static_cast<std::uint32_t>(660'000 - at.base), 4, true);
         }},
    };
    for (const auto& [what, breakIndex] : breakages) {
        IndexedMpo file = mpoWithIndex(900'000, {0, 300'000, 650'000}, true, true);
        breakIndex(file.bytes, file.layout);
        EXPECT_EQ(readMpIndex(file.bytes).state, MpIndexState::none) << what;
        EXPECT_EQ(rangesOf(planSplit(file.bytes, 0)), rangesOf(scanPlan(file.bytes))) << what;
    }
}

TEST_F(SplitWithIndex, CleanCameraFilesSplitExactlyAsTheScanSplitsThem) {
    for (const bool littleEndian : {true, false}) {
        const Bytes stereo = mpoWithIndex(1'400'000, {0, 600'001}, littleEndian).bytes;
        const Bytes multi = mpoWithIndex(12'000'000, {0, 4'000'000, 8'000'000}, littleEndian).bytes;
        for (const Bytes* file : {&stereo, &multi}) {
            const SplitPlan indexed = planSplit(*file, 0);
            const SplitPlan scanned = scanPlan(*file);
            EXPECT_EQ(rangesOf(indexed), rangesOf(scanned));
            EXPECT_EQ(indexed.kind, scanned.kind);
            EXPECT_EQ(indexed.searchStart, scanned.searchStart);
        }
    }
}

TEST_F(SplitWithIndex, AThumbnailInTheFirstImageIsNotTakenForAnImage) {
    const Bytes file = mpoWithIndex(1'400'000, {0, 700'000}, false, true).bytes;
    split("DSCF0001.MPO", file);
    EXPECT_EQ(dir.names(), (Names{"DSCF0001-L.jpg", "DSCF0001-R.jpg", "DSCF0001.MPO"}));
    expectOutputs(file,
                  {{"DSCF0001-L.jpg", {0, 699'999}}, {"DSCF0001-R.jpg", {700'000, 1'399'999}}});
    EXPECT_EQ(reporter.statuses, (Names{"File: 1, Image: 1", "File: 1, Image: 2"}));
    EXPECT_EQ(batch.searchStart, 466'666);
    EXPECT_EQ(batch.totalImages, 2);
    EXPECT_TRUE(reporter.messages.empty());
}

TEST_F(SplitWithIndex, ShortLaterImagesAndAThirdImageGetFilesOfTheirOwn) {
    // The scan merges the short third image into the second (it lies inside the search window).
    const Bytes merged = mpoWithIndex(1'000'000, {0, 600'000, 800'000}).bytes;
    split("m.mpo", merged);
    expectOutputs(merged, {{"m-1.jpg", {0, 599'999}},
                           {"m-2.jpg", {600'000, 799'999}},
                           {"m-3.jpg", {800'000, 999'999}}});
    // The scan takes this for a stereo pair and rides the third image inside the right one.
    const Bytes third = mpoWithIndex(1'400'000, {0, 700'000, 1'350'000}).bytes;
    split("t.mpo", third);
    expectOutputs(third, {{"t-1.jpg", {0, 699'999}},
                          {"t-2.jpg", {700'000, 1'349'999}},
                          {"t-3.jpg", {1'350'000, 1'399'999}}});
    EXPECT_EQ(reporter.statuses.back(), "File: 1, Image: 3");
    EXPECT_EQ(batch.totalImages, 6);
    EXPECT_EQ(dir.names().size(), 8u);
}

TEST_F(SplitWithIndex, ACarriedSearchStartCannotJumpASmallFilesSecondImage) {
    batch.searchStart = 400'000; // from a larger file earlier in the batch
    const Bytes file = mpoWithIndex(700'000, {0, 350'000}).bytes;
    split("small.mpo", file);
    expectOutputs(file, {{"small-L.jpg", {0, 349'999}}, {"small-R.jpg", {350'000, 699'999}}});
    EXPECT_EQ(batch.searchStart, 233'332);
}

TEST_F(SplitWithIndex, ACutShortFileIsSplitAsTheScanSplitsItAndTheUserIsTold) {
    Bytes file = mpoWithIndex(1'400'000, {0, 700'000}).bytes;
    file.resize(1'200'000); // an interrupted copy
    split("cut.mpo", file);
    // The scan's plan for the shorter file: the second image is no longer near the middle.
    expectOutputs(file, {{"cut-1.jpg", {0, 699'999}}, {"cut-2.jpg", {700'000, 1'199'999}}});
    EXPECT_EQ(reporter.messages,
              Names{"cut.mpo may be incomplete: its index puts image 2 past the end of the file"});
    EXPECT_EQ(batch.totalImages, 2);
}

TEST_F(SplitWithIndex, AnIndexBeyondTheFirstReadIsStillFoundAndOnlyThen) {
    // A full-size Exif segment pushes the index past the bytes read when the file is opened.
    Bytes file = mpoWithImagesAt(1'400'000, {0, 700'000});
    writeMpIndex(file, {0, 700'000}, true, true, 65'500);
    const std::span<const std::uint8_t> firstRead(file.data(), kHeadFirstRead);
    const auto startsImage = [](std::int64_t) { return true; };
    const MpIndex partial = readMpIndex(firstRead, 1'400'000, startsImage);
    EXPECT_EQ(partial.state, MpIndexState::none);
    EXPECT_TRUE(partial.headTooShort);

    split("big-exif.mpo", file);
    expectOutputs(file,
                  {{"big-exif-L.jpg", {0, 699'999}}, {"big-exif-R.jpg", {700'000, 1'399'999}}});

    // Where the first image's header ends inside the bytes at hand, there is nothing to read on
    // for.
    IndexedMpo plain = mpoWithIndex(1'400'000, {0, 700'000});
    plain.bytes[plain.layout.app2 + 6] = 'X';
    const MpIndex none =
        readMpIndex(std::span(plain.bytes).first(kHeadFirstRead), 1'400'000, startsImage);
    EXPECT_EQ(none.state, MpIndexState::none);
    EXPECT_FALSE(none.headTooShort);
}

TEST_F(SplitWithIndex, TwoDisparityViewsArePairedWhereverTheSecondBegins) {
    // Far from the middle: the scan would number them; the index's types say it is a pair.
    const IndexedMpo pair = mpoWithIndex(1'400'000, {0, 300'000});
    EXPECT_EQ(readMpIndex(pair.bytes).types,
              (std::vector<std::uint32_t>{kDisparityType, 0x020002}));
    EXPECT_EQ(scanPlan(pair.bytes).kind, SplitKind::multiImage);
    split("far.mpo", pair.bytes);
    expectOutputs(pair.bytes, {{"far-L.jpg", {0, 299'999}}, {"far-R.jpg", {300'000, 1'399'999}}});

    // Every other index keeps the rule of the middle: a primary image with its large thumbnail,
    // one disparity view with another type, and three disparity views.
    const auto retyped = [](std::vector<std::uint32_t> attributes, std::size_t secondStart) {
        IndexedMpo file = mpoWithIndex(1'400'000, {0, secondStart});
        for (std::size_t k = 0; k < attributes.size(); ++k)
            putNumber(file.bytes, file.layout.entries + 16 * k, attributes[k], 4, true);
        return file.bytes;
    };
    const Bytes thumbnail = retyped({0x20030000, 0x00010001}, 300'000);
    split("thumb.mpo", thumbnail);
    expectOutputs(thumbnail,
                  {{"thumb-1.jpg", {0, 299'999}}, {"thumb-2.jpg", {300'000, 1'399'999}}});
    const Bytes mixed = retyped({0x20020002, 0x00020003}, 300'000);
    split("mixed.mpo", mixed);
    EXPECT_TRUE(std::filesystem::exists(dir / "mixed-2.jpg"));
    // Near the middle, two images of other types are still a pair, as before.
    const Bytes middle = retyped({0x20030000, 0x00010001}, 690'000);
    split("middle.mpo", middle);
    EXPECT_TRUE(std::filesystem::exists(dir / "middle-R.jpg"));
    const Bytes three = mpoWithIndex(1'400'000, {0, 300'000, 700'000}).bytes;
    split("three.mpo", three);
    EXPECT_TRUE(std::filesystem::exists(dir / "three-3.jpg"));
    EXPECT_TRUE(reporter.messages.empty());
}
