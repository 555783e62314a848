// Feeds arbitrary bytes to the side-by-side transforms as a left and a right picture and holds
// what they give to what must be true of every run: a refusal says why and gives no bytes; a
// side-by-side picture begins FF D8, says its order in its descriptor, and can be read again:
// when it cuts in two, putting the halves side by side again gives the same bytes. The input
// itself is cut too, as a side-by-side picture; its halves are whole JPEGs.
//
// The first two bytes of the input give the left's length (big-endian, at most the rest); the
// right is what follows it.
#include "invariant.h"
#include "stereo/sideBySide.h"

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

// libjpeg takes JPEGMEM as the most a picture may take: a header claiming 65500 x 65500 pixels
// is then refused at 64 MB rather than at the 2 GiB the core allows, which would go past what
// the fuzzer lets a run take.
bool capLibjpegMemory() {
#ifdef _WIN32
    return _putenv_s("JPEGMEM", "64M") == 0;
#else
    return setenv("JPEGMEM", "64M", 1) == 0;
#endif
}

bool isWholeJpeg(const Bytes& jpeg) {
    return jpeg.size() >= 4 && jpeg[0] == 0xFF && jpeg[1] == 0xD8 &&
           jpeg[jpeg.size() - 2] == 0xFF && jpeg[jpeg.size() - 1] == 0xD9;
}

// A refusal of a cut that only the picture's width explains.
bool refusedForItsWidth(const std::string& problem) {
    return problem.find(" cannot be cut ") != std::string::npos;
}

void checkSideBySide(const SideBySide& made, StereoOrder order) {
    if (!made.made()) {
        if (!made.jpeg.empty())
            fail("a refused picture has bytes");
        return;
    }
    if (!isWholeJpeg(made.jpeg))
        fail("a side-by-side picture is not a whole JPEG");
    if (describedOrder(made.jpeg) != order)
        fail("a side-by-side picture does not describe its order");
    const StereoOrder other =
        order == StereoOrder::parallel ? StereoOrder::crossEyed : StereoOrder::parallel;
    const StereoHalves halves = cutSideBySide({made.jpeg, "made.jpg"}, other);
    if (!halves.cut()) {
        if (!refusedForItsWidth(halves.problem))
            fail("a side-by-side picture we made cannot be cut: " + halves.problem);
        return;
    }
    const SideBySide again =
        makeSideBySide({halves.left, "left.jpg"}, {halves.right, "right.jpg"}, order);
    if (again.jpeg != made.jpeg)
        fail("its halves put side by side again differ from it: " + again.problem);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool capped = capLibjpegMemory();
    if (!capped || size < 2)
        return 0;
    const std::size_t rest = size - 2;
    const std::size_t cut = std::min<std::size_t>(std::size_t{data[0]} << 8 | data[1], rest);
    const std::span<const std::uint8_t> left(data + 2, cut);
    const std::span<const std::uint8_t> right(data + 2 + cut, rest - cut);

    for (StereoOrder order : {StereoOrder::parallel, StereoOrder::crossEyed})
        checkSideBySide(makeSideBySide({left, "left.jpg"}, {right, "right.jpg"}, order), order);

    const StereoHalves halves = cutSideBySide({left, "input.jpg"}, StereoOrder::crossEyed);
    if (halves.cut() ? !isWholeJpeg(halves.left) || !isWholeJpeg(halves.right)
                     : !halves.left.empty() || !halves.right.empty())
        fail("the input's halves are not two whole JPEGs, or bytes came with a refusal");
    return 0;
}
