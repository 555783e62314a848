#include "split/splitPlan.h"

#include "split/saveChunkCode.h"

#include <algorithm>
#include <cstdlib>

namespace twinframe {

namespace {

// "-" and the image's number, the name's ending in a file of several images. Built by appending:
// GCC 12 warns falsely (-Wrestrict) about "-" + std::to_string(n) once inlined.
std::string numberedSuffix(std::size_t imageNumber) {
    std::string suffix = "-";
    suffix += std::to_string(imageNumber);
    return suffix;
}

// The multi-image case: each following image is looked for no earlier than the search window
// after the start of the previous one. An Exif thumbnail inside an image has its own
// start-of-image marker; the window is what keeps us from cutting there.
void planMultiImage(std::int64_t fileLength, std::int64_t secondStart,
                    const std::function<std::int64_t(std::int64_t)>& findFrom, SplitPlan& plan) {
    plan.searchStart = (secondStart / 3) * 2;
    // After an FF D8 FF E1 header secondStart is at least 4, so the window is at least 2 bytes.
    // Bytes that skipped the header check could start a signature at offset 1 or 2; a window
    // of at least one byte still keeps every scan moving forward.
    const std::int64_t window = std::max<std::int64_t>(plan.searchStart, 1);
    std::int64_t chunkStart = 0;
    std::int64_t pos = secondStart;
    std::size_t imageNumber = 1;
    while (pos != 0) {
        // The plan is held whole before the first image is written. Knowing that this image and
        // the last would pass the limit is enough to refuse the file, and keeps its memory the
        // same whatever the file holds.
        if (plan.chunks.size() + 2 > kMostImages) {
            plan.tooManyImages = true;
            return;
        }
        plan.chunks.push_back({chunkStart, pos - 1, numberedSuffix(imageNumber)});
        ++imageNumber;
        chunkStart = pos;
        pos = findFrom(chunkStart + window);
    }
    plan.chunks.push_back({chunkStart, fileLength - 1, numberedSuffix(imageNumber)});
}

// Two images whose second begins within a fourteenth of the file's length of its middle.
bool isStereoPair(std::int64_t fileLength, std::int64_t secondStart) {
    return std::llabs(fileLength / 2 - secondStart) < fileLength / 14;
}

} // namespace

SplitPlan planWithIndex(const MpIndex& index, std::int64_t fileLength, std::int64_t searchStart,
                        const std::function<std::int64_t(std::int64_t)>& findFrom) {
    if (index.state == MpIndexState::usable)
        return planFromIndex(index, fileLength);
    SplitPlan plan = planSplit(fileLength, searchStart, findFrom);
    if (index.state == MpIndexState::incomplete)
        plan.imagePastEnd = index.firstPastEnd;
    return plan;
}

bool isTooSmall(std::int64_t fileLength, std::int64_t searchStart) {
    return !(searchStart + 100 < fileLength);
}

bool hasMpoHeader(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 4 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF &&
           bytes[3] == 0xE1;
}

SplitPlan planSplit(std::int64_t fileLength, std::int64_t searchStart,
                    const std::function<std::int64_t(std::int64_t)>& findFrom) {
    SplitPlan plan;
    plan.searchStart = searchStart;

    const std::int64_t secondStart = findFrom(searchStart + 1);
    if (secondStart == 0) {
        plan.kind = SplitKind::oneImage;
        plan.chunks.push_back({0, fileLength - 1, ""});
        return plan;
    }

    if (isStereoPair(fileLength, secondStart)) {
        // A stereo pair: everything from the second start to the end is the right image.
        plan.kind = SplitKind::stereoPair;
        plan.chunks.push_back({0, secondStart - 1, "-L"});
        plan.chunks.push_back({secondStart, fileLength - 1, "-R"});
        plan.searchStart = (secondStart / 3) * 2;
        return plan;
    }

    plan.kind = SplitKind::multiImage;
    planMultiImage(fileLength, secondStart, findFrom, plan);
    return plan;
}

SplitPlan planFromIndex(const MpIndex& index, std::int64_t fileLength) {
    const std::vector<std::int64_t>& starts = index.starts;
    SplitPlan plan;
    plan.searchStart = (starts[1] / 3) * 2;
    // An index that types both images as the views of a stereo pair is believed wherever the
    // second begins: a pair whose pictures compress to very different sizes stays a pair.
    const bool stereo =
        starts.size() == 2 && (indexesStereoPair(index) || isStereoPair(fileLength, starts[1]));
    plan.kind = stereo ? SplitKind::stereoPair : SplitKind::multiImage;
    if (starts.size() > kMostImages) {
        plan.tooManyImages = true;
        return plan;
    }
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const std::int64_t last = k + 1 < starts.size() ? starts[k + 1] - 1 : fileLength - 1;
        const std::string suffix = stereo ? (k == 0 ? "-L" : "-R") : numberedSuffix(k + 1);
        plan.chunks.push_back({starts[k], last, suffix});
    }
    return plan;
}

SplitPlan planSplit(std::span<const std::uint8_t> bytes, std::int64_t searchStart) {
    const auto fileLength = static_cast<std::int64_t>(bytes.size());
    return planWithIndex(readMpIndex(bytes), fileLength, searchStart,
                         [bytes](std::int64_t from) { return findImageStart(bytes, from); });
}

} // namespace twinframe
