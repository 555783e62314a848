// Feeds arbitrary bytes to a join as a left and a right picture and holds the result to what
// must be true of every join: reading an input never leaves its bytes and always ends; a joined
// file begins FF D8 FF E1, its size is what the plan says, its MP index is usable and gives
// exactly the planned starts and sizes, each image keeps its input's bytes from the first
// scan to its end, and the second image is a picture of the same size as the right.
//
// The first two bytes of the input give the left's length (big-endian, at most the rest); the
// right is what follows it.
#include "joinPair.h"
#include "mpIndex.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace twinframe;
using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
    std::abort();
}

void checkInput(std::span<const std::uint8_t> bytes, const JoinInput& input) {
    if (input.kind == JoinInputKind::notJpeg)
        return;
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

    const std::span<const std::uint8_t> second(joined.data() + plan.secondStart, plan.secondSize);
    const JoinInput secondInput = readJoinInput(second);
    if (secondInput.kind != JoinInputKind::picture || secondInput.width != rightInput.width ||
        secondInput.height != rightInput.height)
        fail("the second image does not read as the right picture");
    return 0;
}
