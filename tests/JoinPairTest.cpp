#include "join/joinPair.h"
#include "JpegBuilder.h"
#include "format/exifWriter.h"
#include "format/mpIndex.h"
#include "format/mpWriter.h"
#include "join/joinBatch.h"
#include "split/saveChunkCode.h"
#include "split/splitFile.h"

#include <gtest/gtest.h>

using namespace twinframe;
using namespace twinframe::test;

namespace {

namespace fs = std::filesystem;

Bytes hex(const std::string& text) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size();) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
        i += 2;
    }
    return bytes;
}

struct Joined {
    JoinPlan plan;
    Bytes bytes;
};

Joined joinInMemory(const Bytes& left, const Bytes& right) {
    const JoinInput leftInput = readJoinInput(left);
    const JoinInput rightInput = readJoinInput(right);
    EXPECT_EQ(leftInput.kind, JoinInputKind::picture);
    EXPECT_EQ(rightInput.kind, JoinInputKind::picture);
    JoinPlan plan = planJoin(leftInput, rightInput);
    Bytes bytes = joinedBytes(plan, left, right);
    return {std::move(plan), std::move(bytes)};
}

// The header segments a join keeps: all but the Exif (moved) and the MP segments (replaced).
std::vector<Bytes> keptSegments(const Bytes& image) {
    std::vector<Bytes> kept;
    for (const Bytes& segment : headerSegments(image)) {
        const std::string head(
            segment.begin() + 4,
            segment.begin() +
                std::min<std::ptrdiff_t>(10, static_cast<std::ptrdiff_t>(segment.size())));
        if ((segment[1] == 0xE1 && head.starts_with(std::string("Exif\0", 5))) ||
            (segment[1] == 0xE2 && head.starts_with(std::string("MPF\0", 4))))
            continue;
        kept.push_back(segment);
    }
    return kept;
}

} // namespace

// The MP segments, byte for byte as the Fujifilm W3 lays them out (only the values differ).
TEST(MpWriter, SegmentsHaveTheLayoutOfStereoCameras) {
    EXPECT_EQ(firstImageMpSegment(0x11223344, 0x55667788, 0x0A0B0C0D),
              hex("ffe2009e 4d504600 49492a00 08000000 0300"
                  "00b0 0700 04000000 30313030  01b0 0400 01000000 02000000"
                  "02b0 0700 20000000 32000000  52000000"
                  "02000220 44332211 00000000 00000000  02000200 88776655 0d0c0b0a 00000000"
                  "0400 01b1 0400 01000000 01000000  04b2 0400 01000000 01000000"
                  "05b2 0a00 01000000 88000000  06b2 0500 01000000 90000000  00000000"
                  "ffffffff ffffffff ffffffff ffffffff"));
    EXPECT_EQ(secondImageMpSegment({}),
              hex("ffe20060 4d504600 49492a00 08000000 0500"
                  "00b0 0700 04000000 30313030  01b1 0400 01000000 02000000"
                  "04b2 0400 01000000 01000000  05b2 0a00 01000000 4a000000"
                  "06b2 0500 01000000 52000000  00000000"
                  "ffffffff ffffffff ffffffff ffffffff"));
}

TEST(MpWriter, WritesTheGivenAttributesInPlaceOfUnknownOnes) {
    const MpAttributes measured{2, 0xFFFFFFFE, 10, 77, 1000}; // -0.2 degrees, 77 mm
    const Bytes first = firstImageMpSegment(100, 200, 300, measured);
    const Bytes second = secondImageMpSegment(measured);
    EXPECT_EQ(first.size(), kFirstMpSegmentSize);
    EXPECT_EQ(second.size(), kSecondMpSegmentSize);
    EXPECT_EQ(slice(first, 144, 159), hex("feffffff 0a000000 4d000000 e8030000"));
    for (const Bytes* segment : {&first, &second})
        EXPECT_EQ(readMpAttributes(slice(*segment, 4, segment->size() - 1)), measured);
    // Cut short anywhere, a segment gives defaults or nothing, never bytes from outside it.
    for (std::size_t end = 4; end < first.size() - 1; ++end)
        EXPECT_NE(readMpAttributes(slice(first, 4, end)), measured) << end;
}

TEST(JoinPair, FileBeginsWithExifThenTheIndexThenTheLeftsOwnSegments) {
    const BuiltJpeg left = buildJpeg({.jfif = true, .seed = 1});
    const BuiltJpeg right = buildJpeg({.seed = 2});
    const Joined joined = joinInMemory(left.bytes, right.bytes);

    const std::vector<Bytes> segments = headerSegments(joined.bytes);
    const std::vector<Bytes> leftSegments = headerSegments(left.bytes);
    ASSERT_GE(segments.size(), 3u);
    EXPECT_EQ(slice(joined.bytes, 0, 3), hex("ffd8ffe1"));
    EXPECT_EQ(segments[0], leftSegments[1]); // the left's Exif, moved in front of its JFIF
    EXPECT_EQ(slice(segments[1], 0, 7), hex("ffe2009e 4d504600"));
    EXPECT_EQ(std::vector<Bytes>(segments.begin() + 2, segments.end()), keptSegments(left.bytes));
    EXPECT_EQ(joined.plan.mpHeaderOffset, 2 + segments[0].size() + 8);
    EXPECT_EQ(joined.plan.totalSize, joined.bytes.size());

    const Bytes second(joined.bytes.begin() + static_cast<std::ptrdiff_t>(joined.plan.secondStart),
                       joined.bytes.end());
    EXPECT_EQ(headerSegments(second)[0], headerSegments(right.bytes)[0]);
    EXPECT_EQ(headerSegments(second)[1], secondImageMpSegment());

    const MpIndex index = readMpIndex(joined.bytes);
    EXPECT_EQ(index.state, MpIndexState::usable);
    EXPECT_EQ(index.starts,
              (std::vector<std::int64_t>{0, static_cast<std::int64_t>(joined.plan.secondStart)}));
    EXPECT_EQ(index.sizes,
              (std::vector<std::int64_t>{static_cast<std::int64_t>(joined.plan.firstSize),
                                         static_cast<std::int64_t>(joined.plan.secondSize)}));
}

// Every kind of input goes back and forth: the split of the joined file gives halves whose
// compressed data and kept segments are the inputs', whether it cuts at the index or scans.
TEST(JoinPair, SplitGivesBackTheCompressedDataOfEveryKindOfInput) {
    const std::vector<std::pair<JpegRecipe, JpegRecipe>> pairs = {
        {{.seed = 1}, {.seed = 2}},
        {{.jfif = true, .exif = false, .seed = 3}, {.jfif = true, .exif = false, .seed = 4}},
        {{.progressive = true, .seed = 5}, {.exif = false, .progressive = true, .seed = 6}},
        {{.cameraMpSegment = true, .padding = 44, .seed = 7},
         {.cameraMpSegment = true, .padding = 1, .seed = 8}},
    };
    for (const auto& [leftSpec, rightSpec] : pairs) {
        SCOPED_TRACE("seed " + std::to_string(leftSpec.seed));
        const BuiltJpeg left = buildJpeg(leftSpec);
        const BuiltJpeg right = buildJpeg(rightSpec);
        const Joined joined = joinInMemory(left.bytes, right.bytes);
        const auto total = static_cast<std::int64_t>(joined.bytes.size());

        const SplitPlan atIndex = planSplit(joined.bytes, 0);
        const SplitPlan scanned = planSplit(
            total, 0, [&](std::int64_t from) { return findImageStart(joined.bytes, from); });
        ASSERT_EQ(atIndex.kind, SplitKind::stereoPair);
        ASSERT_EQ(scanned.kind, SplitKind::stereoPair);
        EXPECT_EQ(atIndex.chunks[1].first, scanned.chunks[1].first);
        EXPECT_EQ(atIndex.chunks[1].first, static_cast<std::int64_t>(joined.plan.secondStart));

        const auto chunk = [&](std::size_t i) {
            return slice(joined.bytes, static_cast<std::size_t>(atIndex.chunks[i].first),
                         static_cast<std::size_t>(atIndex.chunks[i].last));
        };
        EXPECT_EQ(compressedDataOf(chunk(0)), left.compressed());
        EXPECT_EQ(compressedDataOf(chunk(1)), right.compressed());
        EXPECT_EQ(keptSegments(chunk(0)), keptSegments(left.bytes));
        EXPECT_EQ(keptSegments(chunk(1)), keptSegments(right.bytes));
        // The camera's padding after the left's EOI stays with it; the index counts to EOI.
        EXPECT_EQ(chunk(0).size(), joined.plan.firstSize + leftSpec.padding);
        for (const Bytes& image : {chunk(0), chunk(1)}) {
            EXPECT_EQ(slice(image, 0, 3), hex("ffd8ffe1"));
            EXPECT_EQ(slice(image, 6, 11), hex("457869660000")); // "Exif\0\0"
        }
    }
}

TEST(JoinPair, PictureWithoutExifGetsAMinimalOneWithItsSize) {
    const BuiltJpeg left = buildJpeg({.width = 4000, .height = 3000, .jfif = true, .exif = false});
    const BuiltJpeg right = buildJpeg({.width = 4000, .height = 3000, .exif = false, .seed = 2});
    const Joined joined = joinInMemory(left.bytes, right.bytes);
    const Bytes exif = headerSegments(joined.bytes)[0];
    EXPECT_EQ(exif, minimalExifSegment(4000, 3000));
    EXPECT_EQ(slice(exif, 4, 13), hex("457869660000 49492a00")); // "Exif\0\0II*\0"
    // PixelXDimension and PixelYDimension, the last entries of the Exif IFD.
    const Bytes width = hex("02a0 0400 01000000 a00f0000");
    const Bytes height = hex("03a0 0400 01000000 b80b0000");
    EXPECT_NE(std::search(exif.begin(), exif.end(), width.begin(), width.end()), exif.end());
    EXPECT_NE(std::search(exif.begin(), exif.end(), height.begin(), height.end()), exif.end());
}

TEST(JoinInput, TellsPicturesFromWhatIsNot) {
    const BuiltJpeg picture = buildJpeg({.padding = 3});
    EXPECT_EQ(readJoinInput(picture.bytes).kind, JoinInputKind::picture);
    EXPECT_EQ(readJoinInput(picture.bytes).imageEnd, picture.imageEnd);
    EXPECT_EQ(readJoinInput(hex("ffd9ffe1 0004 0000")).kind, JoinInputKind::notJpeg);
    // Segments that end before any scan, or run past the bytes.
    EXPECT_EQ(readJoinInput(slice(picture.bytes, 0, picture.scanStart - 20)).kind,
              JoinInputKind::notJpeg);
    EXPECT_EQ(readJoinInput(hex("ffd8 ffe1 0100 0000")).kind, JoinInputKind::notJpeg);
    // A scan without a frame before it.
    EXPECT_EQ(readJoinInput(hex("ffd8 ffda 0002 1234 ffd9")).kind, JoinInputKind::notJpeg);

    Bytes twoPictures = picture.bytes;
    const Bytes second = buildJpeg({.seed = 9}).bytes;
    twoPictures.insert(twoPictures.end(), second.begin(), second.end());
    EXPECT_EQ(readJoinInput(twoPictures).kind, JoinInputKind::secondImage);
    // A second SOI where the first picture never ended is a second picture too.
    Bytes noEnd = slice(picture.bytes, 0, picture.imageEnd - 3);
    noEnd.insert(noEnd.end(), second.begin(), second.end());
    EXPECT_EQ(readJoinInput(noEnd).kind, JoinInputKind::secondImage);
    // A picture cut short ends at the end of its bytes, without its end marker.
    const Bytes cut = slice(picture.bytes, 0, picture.imageEnd - 100);
    EXPECT_EQ(readJoinInput(cut).kind, JoinInputKind::cutShort);
    EXPECT_EQ(readJoinInput(cut).imageEnd, cut.size());
}

TEST(JoinPair, RefusesPicturesOfDifferentSizes) {
    TempDir dir;
    writeBytes(dir / "a-L.jpg", buildJpeg({.width = 4000, .height = 3000}).bytes);
    writeBytes(dir / "a-R.jpg", buildJpeg({.width = 3999, .height = 3000}).bytes);
    const JoinResult result = joinPair(dir / "a-L.jpg", dir / "a-R.jpg", dir / "a.mpo");
    EXPECT_EQ(result.problem, (dir / "a-L.jpg").string() + " and " + (dir / "a-R.jpg").string() +
                                  " differ in size: 4000x3000 and 3999x3000");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a-L.jpg", "a-R.jpg"}));
}

TEST(PairNames, RightAndOutputFollowTheLeftsCase) {
    const auto names = [](const std::string& left) {
        const auto found = pairNamesFor(left);
        return found ? found->right.generic_string() + " " + found->output.generic_string()
                     : std::string("-");
    };
    EXPECT_EQ(names("dir/DSCF0001-L.jpg"), "dir/DSCF0001-R.jpg dir/DSCF0001.mpo");
    EXPECT_EQ(names("a-l.JPG"), "a-r.JPG a.mpo");
    EXPECT_EQ(names("a-L.Jpg"), "a-R.Jpg a.mpo");
    EXPECT_EQ(names("a-R.jpg"), "-");
    EXPECT_EQ(names("a-L.jpeg"), "a-R.jpeg a.mpo");
    EXPECT_EQ(names("b-l.JPEG"), "b-r.JPEG b.mpo");
    EXPECT_EQ(names("a-L.jpe"), "-");
    EXPECT_EQ(names("aL.jpeg"), "-");
    EXPECT_EQ(names("-L.jpg"), "-");
    EXPECT_EQ(names("-L.jpeg"), "-");
}

namespace {

// An input read a few bytes at a time from memory, as a file is read a block at a time.
JoinInput readInBlocks(const Bytes& bytes, std::size_t blockSize) {
    JoinInputBytes blocks(
        bytes.size(),
        [&](std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) {
            got = std::min<std::size_t>(size, bytes.size() - static_cast<std::size_t>(offset));
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), got, data);
            return std::error_code();
        },
        blockSize);
    return readJoinInput(blocks);
}

// The MP attributes each image of a joined file carries, from its own MP segment.
std::vector<MpAttributes> attributesOfImages(const Joined& joined) {
    std::vector<MpAttributes> found;
    const Bytes second = slice(joined.bytes, static_cast<std::size_t>(joined.plan.secondStart),
                               joined.bytes.size() - 1);
    for (const Bytes* image : {&joined.bytes, &second}) {
        const Bytes segment = headerSegments(*image)[1]; // right after the Exif
        const auto attributes = readMpAttributes(slice(segment, 4, segment.size() - 1));
        EXPECT_TRUE(attributes.has_value());
        found.push_back(attributes.value_or(MpAttributes{}));
    }
    return found;
}

} // namespace

TEST(JoinInput, ReadingInBlocksFindsWhatReadingInMemoryFinds) {
    const BuiltJpeg picture = buildJpeg({.jfif = true, .exifSegments = 3, .padding = 5});
    Bytes twoPictures = picture.bytes;
    const Bytes second = buildJpeg({.seed = 9}).bytes;
    twoPictures.insert(twoPictures.end(), second.begin(), second.end());
    const std::vector<Bytes> inputs = {
        picture.bytes,
        buildJpeg({.measuredMpSegment = true, .progressive = true}).bytes,
        slice(picture.bytes, 0, picture.imageEnd - 2), // no EOI
        twoPictures,
        slice(picture.bytes, 0, 300), // header cut
    };
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const JoinInput inMemory = readJoinInput(inputs[i]);
        for (const std::size_t blockSize : {16u, 17u, 1000u, 1u << 20}) {
            SCOPED_TRACE("input " + std::to_string(i) + ", blocks of " + std::to_string(blockSize));
            EXPECT_EQ(readInBlocks(inputs[i], blockSize), inMemory);
        }
    }
    // A read that fails ends the reading; the caller is told why.
    JoinInputBytes failing(
        100'000,
        [](std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) {
            std::fill_n(data, size, std::uint8_t{0xFF});
            data[1] = 0xD8;
            got = size;
            return offset > 0 ? std::make_error_code(std::errc::io_error) : std::error_code();
        },
        64);
    EXPECT_EQ(readJoinInput(failing).kind, JoinInputKind::notJpeg);
    EXPECT_EQ(failing.error(), std::errc::io_error);
}

TEST(JoinPair, ExifInSeveralSegmentsStaysTogetherBeforeTheIndex) {
    const BuiltJpeg left = buildJpeg({.jfif = true, .exifSegments = 3, .seed = 1});
    const BuiltJpeg right = buildJpeg({.exifSegments = 2, .seed = 2});
    const Joined joined = joinInMemory(left.bytes, right.bytes);
    const std::vector<Bytes> leftSegments = headerSegments(left.bytes); // JFIF, Exif x3, ...
    const std::vector<Bytes> segments = headerSegments(joined.bytes);
    ASSERT_GE(segments.size(), 5u);
    EXPECT_EQ(std::vector<Bytes>(segments.begin(), segments.begin() + 3),
              std::vector<Bytes>(leftSegments.begin() + 1, leftSegments.begin() + 4));
    EXPECT_EQ(slice(segments[3], 0, 7), hex("ffe2009e 4d504600"));
    EXPECT_EQ(segments[4], leftSegments[0]); // the JFIF after the index
    const Bytes second = slice(joined.bytes, static_cast<std::size_t>(joined.plan.secondStart),
                               joined.bytes.size() - 1);
    EXPECT_EQ(headerSegments(second)[2], secondImageMpSegment());
    EXPECT_EQ(readMpIndex(joined.bytes).state, MpIndexState::usable);
}

TEST(JoinPair, KeepsWhatTheCameraMeasuredForBothImages) {
    const MpAttributes measured{.baseViewpoint = 1,
                                .convergenceNumerator = 0,
                                .convergenceDenominator = 1,
                                .baselineNumerator = kMeasuredBaseline[0],
                                .baselineDenominator = kMeasuredBaseline[1]};
    const BuiltJpeg camera = buildJpeg({.measuredMpSegment = true, .seed = 1});
    const BuiltJpeg edited = buildJpeg({.seed = 2});
    EXPECT_EQ(readJoinInput(camera.bytes).mpAttributes, measured);

    const Joined fromCamera = joinInMemory(camera.bytes, edited.bytes);
    EXPECT_EQ(attributesOfImages(fromCamera), (std::vector<MpAttributes>{measured, measured}));
    // The camera's own segment is replaced, not kept beside the new one.
    EXPECT_EQ(fromCamera.bytes.size(), joinInMemory(edited.bytes, edited.bytes).bytes.size() +
                                           camera.bytes.size() - edited.bytes.size() -
                                           (headerSegments(camera.bytes)[2].size()));
    // Without an MP segment on the left, the figures are unknown, whatever the right carries.
    const Joined fromEdited = joinInMemory(edited.bytes, camera.bytes);
    EXPECT_EQ(attributesOfImages(fromEdited), (std::vector<MpAttributes>{{}, {}}));
    EXPECT_EQ(MpAttributes{}.baselineNumerator, 0xFFFFFFFF);
}

// A bright side at quality 90 and a dark side at 75 differ a lot in compressed size: the second
// image lies far from the middle, but the index types both as views of a pair.
TEST(JoinPair, PicturesOfVeryDifferentSizesSplitBackAsLeftAndRight) {
    const BuiltJpeg left = buildJpeg({.dataSize = 30'000, .seed = 1});
    const BuiltJpeg right = buildJpeg({.dataSize = 2'000, .seed = 2});
    const Joined joined = joinInMemory(left.bytes, right.bytes);
    const SplitPlan scanned =
        planSplit(static_cast<std::int64_t>(joined.bytes.size()), 0,
                  [&](std::int64_t from) { return findImageStart(joined.bytes, from); });
    EXPECT_EQ(scanned.kind, SplitKind::multiImage); // the scan alone cannot tell

    TempDir dir;
    writeBytes(dir / "p.mpo", joined.bytes);
    BatchState batch;
    RecordingReporter reporter;
    splitFile(dir.path(), "p.mpo", 1, batch, reporter);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"p-L.jpg", "p-R.jpg", "p.mpo"}));
    EXPECT_EQ(compressedDataOf(readBytes(dir / "p-L.jpg")), left.compressed());
    EXPECT_EQ(compressedDataOf(readBytes(dir / "p-R.jpg")), right.compressed());

    // And the halves join again, into the same file.
    std::filesystem::rename(dir / "p.mpo", dir / "first.mpo");
    EXPECT_TRUE(joinPair(dir / "p-L.jpg", dir / "p-R.jpg", dir / "p.mpo").joined());
    EXPECT_EQ(readBytes(dir / "p.mpo"), joined.bytes);
}

// A picture an MP index could not address is refused before a byte of it is read: a sparse
// file of 4 GiB and one byte costs no time and no memory.
TEST(JoinPair, RefusesAPictureOfMoreThan4GiBUnread) {
    TempDir dir;
    writeBytes(dir / "a-L.jpg", buildJpeg({}).bytes);
    writeBytes(dir / "a-R.jpg", buildJpeg({.seed = 2}).bytes);
    std::filesystem::resize_file(dir / "a-R.jpg", 0x1'0000'0001);
    EXPECT_EQ(joinPair(dir / "a-L.jpg", dir / "a-R.jpg", dir / "a.mpo").problem,
              "Cannot read " + (dir / "a-R.jpg").string() + ": File too large");
    EXPECT_FALSE(std::filesystem::exists(dir / "a.mpo"));
}

// The page writes a join itself, from the plan: the plan read from the files must make what the
// join writes, with the same refusals, and write nothing.
TEST(JoinPair, PlanFromFilesMakesWhatTheJoinWrites) {
    TempDir dir;
    JpegRecipe camera{.measuredMpSegment = true, .exifSegments = 2, .padding = 100};
    writeBytes(dir / "a-L.jpg", buildJpeg(camera).bytes);
    camera.seed = 2;
    writeBytes(dir / "a-R.jpg", buildJpeg(camera).bytes);
    writeBytes(dir / "b-R.jpg", buildJpeg({.width = 80}).bytes);

    JoinPlan plan;
    EXPECT_TRUE(planPair(dir / "a-L.jpg", dir / "a-R.jpg", dir / "x.mpo", plan).joined());
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a-L.jpg", "a-R.jpg", "b-R.jpg"}));
    ASSERT_TRUE(joinPair(dir / "a-L.jpg", dir / "a-R.jpg", dir / "a.mpo").joined());
    EXPECT_EQ(joinedBytes(plan, readBytes(dir / "a-L.jpg"), readBytes(dir / "a-R.jpg")),
              readBytes(dir / "a.mpo"));

    for (const char* right : {"b-R.jpg", "c-R.jpg"}) {
        JoinPlan refused;
        EXPECT_EQ(planPair(dir / "a-L.jpg", dir / right, dir / "b.mpo", refused).problem,
                  joinPair(dir / "a-L.jpg", dir / right, dir / "b.mpo").problem);
    }
    // Whether the output exists is the writer's matter.
    EXPECT_TRUE(planPair(dir / "a-L.jpg", dir / "a-R.jpg", dir / "a.mpo", plan).joined());
}

TEST(JoinPair, NamesGivenTogetherKeepEachRightWithItsLeft) {
    TempDir dir;
    for (const char* name : {"a-L.jpg", "a-R.jpg", "b-r.JPEG", "c-L.jpeg", "c-R.jpeg"})
        writeBytes(dir / name, {1});
    fs::create_hard_link(dir / "a-R.jpg", dir / "copy-R.jpg");
    const std::vector<std::string> given = {
        (dir / "a-L.jpg").string(),  (dir / "copy-R.jpg").string(), (dir / "b-r.JPEG").string(),
        (dir / "c-R.jpeg").string(), (dir / "c-L.jpeg").string(),   "other.png"};
    EXPECT_EQ(withoutPairedRights(given),
              (std::vector<std::string>{(dir / "a-L.jpg").string(), (dir / "b-r.JPEG").string(),
                                        (dir / "c-L.jpeg").string(), "other.png"}));
}
