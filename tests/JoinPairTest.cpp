#include "joinPair.h"
#include "JpegBuilder.h"
#include "mpIndex.h"
#include "mpWriter.h"
#include "saveChunkCode.h"
#include "splitFile.h"

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
    JoinPlan plan = planJoin(left, leftInput, right, rightInput);
    Bytes bytes = plan.bytes();
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
    EXPECT_EQ(secondImageMpSegment(), hex("ffe20060 4d504600 49492a00 08000000 0500"
                                          "00b0 0700 04000000 30313030  01b1 0400 01000000 02000000"
                                          "04b2 0400 01000000 01000000  05b2 0a00 01000000 4a000000"
                                          "06b2 0500 01000000 52000000  00000000"
                                          "ffffffff ffffffff ffffffff ffffffff"));
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
    // A picture cut short just ends at the end of its bytes.
    const Bytes cut = slice(picture.bytes, 0, picture.imageEnd - 100);
    EXPECT_EQ(readJoinInput(cut).kind, JoinInputKind::picture);
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
    EXPECT_EQ(names("a-L.jpeg"), "-");
    EXPECT_EQ(names("-L.jpg"), "-");
}
