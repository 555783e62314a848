// Feeds arbitrary bytes to a join as a left and a right picture and holds the result to what
// must be true of every join: reading an input never leaves its bytes and always ends, and gives
// the same answer read whole or a few bytes at a time; a picture ends with its EOI; a joined file
// begins FF D8 FF E1, its size is what the plan says, its MP index is usable, types both images
// as disparity views and gives exactly the planned starts and sizes, each image keeps its input's
// bytes from the first scan to its end and carries the left's MP attributes, and the second
// image is a picture of the same size as the right.
//
// The first two bytes of the input give the left's length (big-endian, at most the rest); the
// right is what follows it. The left's length also sets the block size of the reading in pieces.
#include "format/mpIndex.h"
#include "invariant.h"
#include "join/joinPair.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace twinframe;
using Bytes = std::vector<std::uint8_t>;

using fuzz::fail;

// The input read from memory in blocks of blockSize, as a file is read.
JoinInput readInBlocks(std::span<const std::uint8_t> bytes, std::size_t blockSize) {
    JoinInputBytes blocks(
        bytes.size(),
        [bytes](std::uint64_t offset, std::uint8_t* data, std::size_t size, std::size_t& got) {
            if (offset >= bytes.size())
                fail("a block fetched past the end");
            got = std::min<std::size_t>(size, bytes.size() - static_cast<std::size_t>(offset));
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), got, data);
            return std::error_code();
        },
        blockSize);
    return readJoinInput(blocks);
}

void checkInput(std::span<const std::uint8_t> bytes, const JoinInput& input) {
    if (input.size != bytes.size())
        fail("the input's size is not its bytes'");
    if (input.kind == JoinInputKind::notJpeg)
        return;
    if (input.kind == JoinInputKind::picture &&
        (input.imageEnd < 4 || bytes[input.imageEnd - 2] != 0xFF ||
         bytes[input.imageEnd - 1] != 0xD9))
        fail("a picture that does not end with its EOI");
    if (input.imageEnd > bytes.size())
        fail("the image ends past the bytes");
    std::size_t previous = 2;
    for (const ByteRange& range : input.kept) {
        if (range.first < previous || range.end < range.first || range.end > input.imageEnd)
            fail("kept ranges out of order or outside the image");
        previous = range.end;
    }
    if (input.exif && (input.exif->end > bytes.size() || input.exif->first < 2))
        fail("the Exif segment lies outside the bytes");
}

// The input's bytes that the join keeps, in order.
Bytes keptBytes(std::span<const std::uint8_t> bytes, const JoinInput& input) {
    Bytes kept;
    for (const ByteRange& range : input.kept)
        kept.insert(kept.end(), bytes.begin() + static_cast<std::ptrdiff_t>(range.first),
                    bytes.begin() + static_cast<std::ptrdiff_t>(range.end));
    return kept;
}

bool endsWith(const Bytes& bytes, std::size_t end, const Bytes& tail) {
    return end >= tail.size() && end <= bytes.size() &&
           std::equal(tail.begin(), tail.end(),
                      bytes.begin() + static_cast<std::ptrdiff_t>(end - tail.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::size_t rest = size - 2;
    const std::size_t cut = std::min<std::size_t>(std::size_t{data[0]} << 8 | data[1], rest);
    const std::span<const std::uint8_t> left(data + 2, cut);
    const std::span<const std::uint8_t> right(data + 2 + cut, rest - cut);

    const JoinInput leftInput = readJoinInput(left);
    const JoinInput rightInput = readJoinInput(right);
    checkInput(left, leftInput);
    checkInput(right, rightInput);
    const std::size_t blockSize = 16 + data[1] % 64;
    if (readInBlocks(left, blockSize) != leftInput || readInBlocks(right, blockSize) != rightInput)
        fail("reading in blocks finds other than reading in memory");
    if (leftInput.kind != JoinInputKind::picture || rightInput.kind != JoinInputKind::picture)
        return 0;

    const JoinPlan plan = planJoin(leftInput, rightInput);
    if (plan.refusal != JoinRefusal::none) {
        if (plan.refusal == JoinRefusal::sizesDiffer && leftInput.width == rightInput.width &&
            leftInput.height == rightInput.height)
            fail("pictures of one size refused as different");
        return 0;
    }
    const Bytes joined = joinedBytes(plan, left, right);
    if (joined.size() != plan.totalSize)
        fail("the joined size is not the planned size");
    if (joined.size() < 4 || joined[0] != 0xFF || joined[1] != 0xD8 || joined[2] != 0xFF ||
        joined[3] != 0xE1)
        fail("the joined file does not begin FF D8 FF E1");

    const MpIndex index = readMpIndex(joined);
    if (index.state != MpIndexState::usable)
        fail("the joined file's MP index is not usable");
    if (index.starts != std::vector<std::int64_t>{0, static_cast<std::int64_t>(plan.secondStart)} ||
        index.sizes != std::vector<std::int64_t>{static_cast<std::int64_t>(plan.firstSize),
                                                 static_cast<std::int64_t>(plan.secondSize)})
        fail("the MP index does not give the planned starts and sizes");

    if (!endsWith(joined, plan.firstSize, keptBytes(left, leftInput)) ||
        !endsWith(joined, plan.secondStart + plan.secondSize, keptBytes(right, rightInput)))
        fail("an image does not end with its input's kept bytes");

    if (readMpIndex(joined).types != std::vector<std::uint32_t>{kDisparityType, kDisparityType})
        fail("the images are not typed as disparity views");

    const std::span<const std::uint8_t> second(joined.data() + plan.secondStart, plan.secondSize);
    const MpAttributes kept = leftInput.mpAttributes.value_or(MpAttributes{});
    if (readJoinInput(std::span<const std::uint8_t>(joined).first(plan.firstSize)).mpAttributes !=
            kept ||
        readJoinInput(second).mpAttributes != kept)
        fail("an image does not carry the left's MP attributes");
    const JoinInput secondInput = readJoinInput(second);
    if (secondInput.kind != JoinInputKind::picture || secondInput.width != rightInput.width ||
        secondInput.height != rightInput.height)
        fail("the second image does not read as the right picture");
    return 0;
}
