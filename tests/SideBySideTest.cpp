#include "stereo/sideBySide.h"

#include "JpegPictures.h"
#include "format/exifDimensions.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace twinframe;
using namespace twinframe::test;

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr StereoOrder kOrders[] = {StereoOrder::parallel, StereoOrder::crossEyed};
constexpr std::uint8_t kStartOfFrame[] = {0xFF, 0xC0};
constexpr std::uint8_t kFortyThousandSquare[] = {0x9C, 0x40, 0x9C, 0x40}; // height, width

struct Pair {
    Bytes left;
    Bytes right;
};

Pair pairOf(int leftWidth, int rightWidth, int height, const JpegRecipe& left,
            const JpegRecipe& right) {
    const int components = left.sampling == Sampling::grey ? 1 : 3;
    return {encodeJpeg(madeUpPixels(leftWidth, height, components, 1), left),
            encodeJpeg(madeUpPixels(rightWidth, height, components, 2), right)};
}

SideBySide make(const Pair& pair, StereoOrder order) {
    return makeSideBySide({pair.left, "L.jpg"}, {pair.right, "R.jpg"}, order);
}

// Each half of the side-by-side picture decodes to exactly the pixels of its picture; the first
// picture keeps its first `kept` columns.
void expectHalves(const Pair& pair, StereoOrder order, const SideBySide& made, int kept) {
    ASSERT_TRUE(made.made()) << made.problem;
    const Pixels first = decodeJpeg(order == StereoOrder::parallel ? pair.left : pair.right);
    const Pixels second = decodeJpeg(order == StereoOrder::parallel ? pair.right : pair.left);
    const Pixels whole = decodeJpeg(made.jpeg);
    ASSERT_EQ(whole.width, kept + second.width);
    ASSERT_EQ(whole.height, first.height);
    EXPECT_TRUE(whole.columns(0, kept) == first.columns(0, kept));
    EXPECT_TRUE(whole.columns(kept, second.width) == second);
}

TEST(MakeSideBySide, EachHalfDecodesToExactlyItsPicture) {
    const JpegRecipe recipes[] = {
        {.sampling = Sampling::s444},
        {.sampling = Sampling::s422},
        {.sampling = Sampling::s420},
        {.sampling = Sampling::grey},
        {.sampling = Sampling::s420, .progressive = true},
        {.sampling = Sampling::s422, .restartInterval = 2},
    };
    // A progressive picture is read whole, the other row by row as it is written.
    const JpegRecipe progressive{.sampling = Sampling::s420, .progressive = true};
    std::vector<std::pair<JpegRecipe, JpegRecipe>> pairs{{progressive, JpegRecipe{}},
                                                         {JpegRecipe{}, progressive}};
    for (const JpegRecipe& recipe : recipes)
        pairs.emplace_back(recipe, recipe);
    for (const auto& [left, right] : pairs)
        for (StereoOrder order : kOrders) {
            SCOPED_TRACE(testing::Message()
                         << "sampling " << static_cast<int>(left.sampling) << " progressive "
                         << left.progressive << right.progressive << " order "
                         << static_cast<int>(order));
            const Pair pair = pairOf(48, 80, 40, left, right);
            const SideBySide made = make(pair, order);
            expectHalves(pair, order, made, order == StereoOrder::parallel ? 48 : 80);
            EXPECT_EQ(made.note, "");
            // Baseline (SOF0), whatever the pictures were, and without restart markers.
            EXPECT_EQ(segmentsWithMarker(made.jpeg, 0xC0).size(), 1u);
            EXPECT_TRUE(segmentsWithMarker(made.jpeg, 0xDD).empty());
        }
}

TEST(MakeSideBySide, FirstPictureKeepsItsWholeColumnsOfBlocks) {
    for (StereoOrder order : kOrders) {
        // 53 pixels at 4:2:0: three whole 16-pixel columns, and 5 pixels of a fourth.
        const bool parallel = order == StereoOrder::parallel;
        const Pair pair = pairOf(parallel ? 53 : 32, parallel ? 32 : 53, 24, {}, {});
        const SideBySide made = make(pair, order);
        expectHalves(pair, order, made, 48);
        EXPECT_NE(made.note.find(parallel ? "L.jpg" : "R.jpg"), std::string::npos) << made.note;
        EXPECT_NE(made.note.find("last 5 pixel columns"), std::string::npos) << made.note;
    }
}

TEST(MakeSideBySide, CarriesDifferentQuantizationTablesExactly) {
    std::array<unsigned, 64> sevens;
    std::array<unsigned, 64> fives;
    sevens.fill(7);
    fives.fill(5);
    const std::pair<JpegRecipe, JpegRecipe> tables[] = {
        {{.quality = 75}, {.quality = 95}},
        {{.sampling = Sampling::s444, .table = sevens},
         {.sampling = Sampling::s444, .table = fives}},
        {{.sampling = Sampling::grey, .quality = 50}, {.sampling = Sampling::grey, .quality = 85}},
        // One slot for all three components on the left, two on the right: the divisors differ
        // between the luma and the chroma, which must not share a slot.
        {{.table = sevens, .oneTableSlot = true}, {.quality = 80}},
    };
    for (const auto& [left, right] : tables)
        for (StereoOrder order : kOrders) {
            const Pair pair = pairOf(32, 32, 24, left, right);
            expectHalves(pair, order, make(pair, order), 32);
        }
}

TEST(MakeSideBySide, RefusesACoefficientThatABaselineJpegCannotHold) {
    // White blocks have a DC of 1016; with a step of 205 it is stored as 5, which is 1025 with a
    // step of 1 (the common divisor of 205 and 204): more than a baseline JPEG holds.
    std::array<unsigned, 64> table205;
    std::array<unsigned, 64> table204;
    table205.fill(16);
    table204.fill(16);
    table205[0] = 205;
    table204[0] = 204;
    const Pixels white{16, 16, 1, Bytes(16 * 16, 255)};
    const JpegRecipe left{.sampling = Sampling::grey, .table = table205};
    const Pair pair{encodeJpeg(white, left),
                    encodeJpeg(white, {.sampling = Sampling::grey, .table = table204})};
    const SideBySide refused = make(pair, StereoOrder::parallel);
    EXPECT_FALSE(refused.made());
    EXPECT_TRUE(refused.jpeg.empty());
    EXPECT_NE(refused.problem.find("L.jpg and R.jpg cannot be put side by side exactly"),
              std::string::npos)
        << refused.problem;
    // The same tables on both sides scale nothing.
    const Pair same{pair.left, encodeJpeg(white, left)};
    expectHalves(same, StereoOrder::parallel, make(same, StereoOrder::parallel), 16);
    // A picture crafted with a coefficient no baseline JPEG codes: libjpeg would write it wrong.
    const Pair crafted{withFirstAcCoefficient(same.left, 2000), same.right};
    EXPECT_EQ(make(crafted, StereoOrder::parallel).problem,
              "L.jpg has coefficients too large for a baseline JPEG");
    EXPECT_EQ(cutSideBySide({crafted.left, "S.jpg"}, StereoOrder::parallel).problem,
              "S.jpg has coefficients too large for a baseline JPEG");
}

TEST(MakeSideBySide, RefusesPicturesThatCannotShareAPicture) {
    const auto problem = [](const Pair& pair) { return make(pair, StereoOrder::parallel).problem; };
    EXPECT_EQ(problem({encodeJpeg(madeUpPixels(32, 32, 3, 1), {}),
                       encodeJpeg(madeUpPixels(32, 48, 3, 2), {})}),
              "L.jpg and R.jpg differ in height (32 and 48)");
    EXPECT_EQ(problem(pairOf(32, 32, 32, {}, {.sampling = Sampling::s422})),
              "L.jpg and R.jpg differ in sampling (2x2, 1x1, 1x1 and 2x1, 1x1, 1x1)");
    EXPECT_EQ(problem({encodeJpeg(madeUpPixels(32, 32, 3, 1), {}),
                       encodeJpeg(madeUpPixels(32, 32, 1, 2), {.sampling = Sampling::grey})}),
              "L.jpg and R.jpg differ in components (3 and 1)");

    const Pair good = pairOf(32, 32, 32, {}, {});
    EXPECT_EQ(problem({good.left, Bytes{'n', 'o', 't'}}).rfind("Cannot read R.jpg as a JPEG: ", 0),
              0u);
    // Cut short inside its compressed data: libjpeg would fill the rest with grey.
    const Bytes cutShort(good.left.begin(), good.left.end() - 200);
    const std::string shortProblem = problem({cutShort, good.right});
    EXPECT_EQ(shortProblem, "Cannot read L.jpg as a JPEG: Premature end of JPEG file");
    // Whole up to its last row, then bytes that are neither data nor a marker: the picture is
    // read to its end all the same.
    Bytes trailing = good.right;
    trailing.insert(trailing.end() - 2, 64, 0x55);
    for (StereoOrder order : kOrders) {
        const std::string trailingProblem = make({good.left, trailing}, order).problem;
        EXPECT_EQ(trailingProblem.rfind("Cannot read R.jpg as a JPEG: Corrupt JPEG data: ", 0), 0u)
            << trailingProblem;
        EXPECT_NE(trailingProblem.find("extraneous bytes before marker 0xd9"), std::string::npos)
            << trailingProblem;
    }
    // A header claiming 40000 x 40000 pixels in a few hundred bytes. Put side by side, the
    // picture is read a row at a time and meets its end marker in its first rows; read whole, as
    // a cut reads, its
    // coefficients would take 3.2 GB, over what a picture may take.
    const auto huge = [](Bytes jpeg, int claimed) { // the height, then the width too
        const auto frame = std::search(jpeg.begin(), jpeg.end(), kStartOfFrame, kStartOfFrame + 2);
        EXPECT_NE(frame, jpeg.end());
        if (frame != jpeg.end())
            std::copy_n(kFortyThousandSquare, claimed, frame + 5);
        return jpeg;
    };
    EXPECT_EQ(problem({huge(good.left, 4), huge(good.right, 2)}),
              "Cannot read L.jpg as a JPEG: Corrupt JPEG data: premature end of data segment");
    EXPECT_EQ(cutSideBySide({huge(good.left, 4), "S.jpg"}, StereoOrder::parallel).problem,
              "Cannot read S.jpg: at 40000 x 40000 pixels it is too large to hold in memory");
}

TEST(MakeSideBySide, SaysTheOrderInItsDescriptor) {
    const Pair pair = pairOf(32, 32, 16, {}, {});
    for (StereoOrder order : kOrders) {
        const SideBySide made = make(pair, order);
        EXPECT_EQ(describedOrder(made.jpeg), order);
        // "_JPSJPS_", the descriptor's length, then separation 0, the flags (left first or not),
        // side by side, stereo: the bytes the published layout gives.
        const std::uint8_t flags = order == StereoOrder::parallel ? 0x04 : 0x00;
        const Bytes app3{'_', 'J', 'P', 'S', 'J', 'P', 'S', '_', 0, 4, 0, flags, 2, 1};
        EXPECT_EQ(segmentsWithMarker(made.jpeg, 0xE3), std::vector<Bytes>{app3});
        EXPECT_TRUE(segmentsWithMarker(made.jpeg, 0xE2).empty()); // no MP segment
    }
    EXPECT_EQ(describedOrder(pair.left), std::nullopt);
    // A descriptor of another layout (over and under) says nothing of a side-by-side order.
    Bytes overUnder = pair.left;
    const Bytes segment{0xFF, 0xE3, 0,   16, '_', 'J', 'P', 'S', 'J',
                        'P',  'S',  '_', 0,  4,   0,   4,   3,   1};
    overUnder.insert(overUnder.begin() + 2, segment.begin(), segment.end());
    EXPECT_EQ(describedOrder(overUnder), std::nullopt);
}

TEST(MakeSideBySide, KeepsTheLeftPicturesExifWithItsTrueDimensions) {
    for (ByteOrder byteOrder : {ByteOrder::littleEndian, ByteOrder::bigEndian})
        for (bool longDimensions : {false, true}) {
            const ExifRecipe leftExif{byteOrder, longDimensions, 4000, 3000};
            const ExifRecipe rightExif{ByteOrder::bigEndian, true, 111, 222};
            const Pair pair = pairOf(48, 32, 16, {.exif = leftExif}, {.exif = rightExif});
            const SideBySide made = make(pair, StereoOrder::crossEyed);
            ASSERT_TRUE(made.made()) << made.problem;
            EXPECT_EQ(readExifDimensions(made.jpeg),
                      (ExifDimensions{80, 16, longDimensions, longDimensions}));
            const auto exif = segmentsWithMarker(made.jpeg, 0xE1);
            ASSERT_EQ(exif.size(), 1u);
            EXPECT_EQ(exif[0][6], byteOrder == ByteOrder::bigEndian ? 'M' : 'I'); // the left's
            EXPECT_TRUE(segmentsWithMarker(made.jpeg, 0xE0).empty()); // no JFIF beside Exif
        }
}

TEST(ExifDimensions, MakesAShortLongWhenTheValueNeedsItAndReadsNothingOutside) {
    for (ByteOrder byteOrder : {ByteOrder::littleEndian, ByteOrder::bigEndian}) {
        const Bytes data = exifSegmentData({byteOrder, false, 640, 480});
        EXPECT_EQ(readExifDataDimensions(exifWithDimensions(data, 70000, 480)),
                  (ExifDimensions{70000, 480, true, false}));
        // Every truncation is left as it is (under the sanitizers: and read within its bytes).
        for (std::size_t size = 0; size < data.size(); ++size) {
            const Bytes part(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
            EXPECT_EQ(exifWithDimensions(part, 70000, 480).size(), size);
        }
    }
}

TEST(CutSideBySide, GivesBackThePicturesThatWerePutSideBySide) {
    const JpegRecipe recipe{.sampling = Sampling::s422,
                            .exif = ExifRecipe{ByteOrder::bigEndian, false, 9, 9}};
    const Pair pair = pairOf(48, 48, 24, recipe, recipe);
    for (StereoOrder order : kOrders) {
        const SideBySide made = make(pair, order);
        ASSERT_TRUE(made.made()) << made.problem;
        // The descriptor decides, whatever is assumed.
        const StereoOrder other =
            order == StereoOrder::parallel ? StereoOrder::crossEyed : StereoOrder::parallel;
        const StereoHalves halves = cutSideBySide({made.jpeg, "S.jpg"}, other);
        ASSERT_TRUE(halves.cut()) << halves.problem;
        EXPECT_TRUE(decodeJpeg(halves.left) == decodeJpeg(pair.left));
        EXPECT_TRUE(decodeJpeg(halves.right) == decodeJpeg(pair.right));
        for (const Bytes& half : {halves.left, halves.right}) {
            EXPECT_EQ(readExifDimensions(half), (ExifDimensions{48, 24, false, false}));
            EXPECT_TRUE(segmentsWithMarker(half, 0xE3).empty());
        }
    }
}

TEST(CutSideBySide, TakesTheAssumedOrderWithoutADescriptor) {
    const Pixels pixels = madeUpPixels(64, 16, 3, 3);
    const Bytes plain = encodeJpeg(pixels, {.sampling = Sampling::s444});
    const Pixels decoded = decodeJpeg(plain);
    const StereoHalves crossed = cutSideBySide({plain, "S.jpg"}, StereoOrder::crossEyed);
    ASSERT_TRUE(crossed.cut()) << crossed.problem;
    EXPECT_TRUE(decodeJpeg(crossed.left) == decoded.columns(32, 32));
    EXPECT_TRUE(decodeJpeg(crossed.right) == decoded.columns(0, 32));
    const StereoHalves parallel = cutSideBySide({plain, "S.jpg"}, StereoOrder::parallel);
    EXPECT_TRUE(decodeJpeg(parallel.left) == decoded.columns(0, 32));
}

TEST(CutSideBySide, RefusesAPictureWithoutTwoWholeHalves) {
    const auto problem = [](int width) {
        const Bytes jpeg = encodeJpeg(madeUpPixels(width, 16, 3, 1), {});
        return cutSideBySide({jpeg, "S.jpg"}, StereoOrder::parallel).problem;
    };
    EXPECT_EQ(problem(97),
              "S.jpg cannot be cut in two halves: it is 97 pixels wide, an odd number");
    EXPECT_EQ(problem(40), "S.jpg cannot be cut without decoding it: each half would be 20 pixels "
                           "wide, not whole columns of 16-pixel blocks");
    const Bytes text{'t', 'e', 'x', 't'};
    EXPECT_EQ(cutSideBySide({text, "S.jpg"}, StereoOrder::parallel)
                  .problem.rfind("Cannot read S.jpg as a JPEG: ", 0),
              0u);
}

} // namespace
