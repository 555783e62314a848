#include "stereo/sideBySideBatch.h"

#include "join/joinBatch.h"
#include "join/joinInput.h"
#include "join/joinPair.h"
#include "join/joinPlan.h"
#include "platform/fileSystem.h"
#include "split/splitPlan.h"
#include "stereo/stereoFiles.h"

#include <algorithm>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

// The two pictures of a stereo pair as the transforms take them, and the files they came from.
// The pictures point into the files' bytes, so a pair stays where it was made.
struct PairOnDisk {
    PairOnDisk() = default;
    PairOnDisk(const PairOnDisk&) = delete;
    PairOnDisk& operator=(const PairOnDisk&) = delete;

    StereoInput first;  // the MPO, or the left picture
    StereoInput second; // the right picture; nothing for an MPO
    StereoPicture left;
    StereoPicture right;
};

std::string imagesText(const SplitPlan& plan) {
    if (plan.tooManyImages)
        return "more than " + std::to_string(kMostImages) + " images";
    if (plan.chunks.size() == 1)
        return "one image";
    return std::to_string(plan.chunks.size()) + " images";
}

std::span<const std::uint8_t> chunkBytes(const std::vector<std::uint8_t>& bytes,
                                         const Chunk& chunk) {
    return std::span(bytes).subspan(static_cast<std::size_t>(chunk.first),
                                    static_cast<std::size_t>(chunk.last - chunk.first + 1));
}

// Reads a stereo MPO and finds its pictures where the split would cut it into -L and -R.
std::string readStereoMpo(const std::string& name, PairOnDisk& pair) {
    if (std::string problem = readStereoInput(pathFromUtf8(name), pair.first); !problem.empty())
        return problem;
    const std::vector<std::uint8_t>& bytes = pair.first.bytes;
    // The split's own refusals, in its words.
    if (isTooSmall(static_cast<std::int64_t>(bytes.size()), 0))
        return name + " too small to be a valid file";
    if (!hasMpoHeader(bytes))
        return name + " is not a valid MPO file";
    const SplitPlan plan = planSplit(bytes, 0);
    if (plan.kind != SplitKind::stereoPair)
        return name + " is not a stereo pair: it holds " + imagesText(plan);
    // Cut short: its right picture would be only the part of it that is there.
    if (plan.imagePastEnd != 0)
        return name + " may be incomplete: its index puts image " +
               std::to_string(plan.imagePastEnd) + " past the end of the file";
    pair.left = {chunkBytes(bytes, plan.chunks[0]), name + " (left)"};
    pair.right = {chunkBytes(bytes, plan.chunks[1]), name + " (right)"};
    return {};
}

// Reads a left picture and its right, as --join finds it.
std::string readPictures(const std::string& left, const PairNames& names, PairOnDisk& pair) {
    const fs::path leftPath = pathFromUtf8(left);
    const std::string right = utf8Text(names.right);
    // The same picture twice (a link, or a hard link) is no stereo pair.
    if (const auto identity = identityOf(leftPath); identity && identity == identityOf(names.right))
        return left + " and " + right + " are the same file";
    if (std::string problem = readStereoInput(leftPath, pair.first); !problem.empty())
        return problem;
    if (std::string problem = readStereoInput(names.right, pair.second); !problem.empty())
        return problem;
    pair.left = {pair.first.bytes, left};
    pair.right = {pair.second.bytes, right};
    return {};
}

// Makes the side-by-side picture of one input into output; false when it told a problem.
bool makeOne(const std::string& input, const std::optional<PairNames>& names,
             const fs::path& output, StereoOrder order, MadeOutputs& made,
             BatchReporter& reporter) {
    const auto refuse = [&reporter](const std::string& problem) {
        reporter.showMessage(problem);
        return false;
    };
    // An output of an earlier run is often there already: looked at first, it costs no
    // reading.
    if (std::string problem = made.whyTaken(output); !problem.empty())
        return refuse(problem);
    PairOnDisk pair;
    if (std::string problem =
            names ? readPictures(input, *names, pair) : readStereoMpo(input, pair);
        !problem.empty())
        return refuse(problem);
    const SideBySide picture = makeSideBySide(pair.left, pair.right, order);
    if (!picture.made())
        return refuse(picture.problem);
    // Made of both pictures, it is as private as the more private of them.
    const fs::perms permissions =
        names ? sharedPermissions(pair.first.permissions, pair.second.permissions)
              : pair.first.permissions;
    if (std::string problem = made.write(output, picture.jpeg, permissions, input);
        !problem.empty())
        return refuse(problem);
    if (!picture.note.empty())
        reporter.showMessage(picture.note);
    return true;
}

// Cuts one side-by-side picture and joins its halves into output; false when it told a problem.
bool joinOne(const std::string& input, const fs::path& output, StereoOrder assumed,
             MadeOutputs& made, BatchReporter& reporter) {
    const auto refuse = [&reporter](const std::string& problem) {
        reporter.showMessage(problem);
        return false;
    };
    if (std::string problem = made.whyTaken(output); !problem.empty())
        return refuse(problem);
    StereoInput file;
    if (std::string problem = readStereoInput(pathFromUtf8(input), file); !problem.empty())
        return refuse(problem);
    const StereoHalves halves = cutSideBySide({file.bytes, input}, assumed);
    if (!halves.cut())
        return refuse(halves.problem);
    // The halves are whole pictures of one size, which the join takes as it takes any pair.
    const JoinInput left = readJoinInput(std::span<const std::uint8_t>(halves.left));
    const JoinInput right = readJoinInput(std::span<const std::uint8_t>(halves.right));
    if (left.kind != JoinInputKind::picture || right.kind != JoinInputKind::picture)
        return refuse("Cannot write " + utf8Text(output) + ": the pictures cut from " + input +
                      " are not whole JPEG pictures");
    const JoinPlan plan = planJoin(left, right);
    if (plan.refusal != JoinRefusal::none)
        return refuse("Cannot write " + utf8Text(output) +
                      (plan.refusal == JoinRefusal::tooLarge
                           ? ": the pictures together pass the 4 GiB an MPO index can address"
                           : ": the pictures cut from " + input + " differ in size"));
    if (std::string problem = made.write(output, joinedBytes(plan, halves.left, halves.right),
                                         file.permissions, input);
        !problem.empty())
        return refuse(problem);
    return true;
}

std::string summary(const std::string& doneText, const char* unit,
                    const StereoBatchResult& result) {
    std::string text = doneText + std::to_string(result.made);
    if (result.stopped)
        text += "\nStopped after " + std::string(unit) + " " +
                std::to_string(result.filesDealtWith) + " of " + std::to_string(result.fileCount);
    return text;
}

} // namespace

StereoBatchResult makeSideBySideFiles(std::span<const std::string> inputs, StereoOrder order,
                                      BatchReporter& reporter,
                                      const std::function<bool()>& stopRequested) {
    // A picture named as a JPEG is a left picture, or no input: the rest is looked at as MPO.
    const auto takes = [](const fs::path& path) {
        return pairNamesFor(path).has_value() || !hasJpegName(path);
    };
    StereoBatchResult result;
    // Numbered over the inputs taken alone, so the numbers run without gaps.
    result.fileCount = std::count_if(inputs.begin(), inputs.end(), [&](const std::string& input) {
        return takes(pathFromUtf8(input));
    });
    MadeOutputs made;
    for (const std::string& input : inputs) {
        const fs::path path = pathFromUtf8(input);
        if (!takes(path)) {
            reporter.showMessage(input + " is not a left picture: its name must end in -L.jpg");
            continue;
        }
        if (result.filesDealtWith > 0 && stopRequested && stopRequested()) {
            result.stopped = true;
            break;
        }
        const std::int64_t number = ++result.filesDealtWith;
        const fs::path output = sideBySideOutputFor(path, order);
        reporter.setStatus("Pair: " + std::to_string(number) + ", " + utf8Text(output));
        result.made += makeOne(input, pairNamesFor(path), output, order, made, reporter);
    }
    return result;
}

StereoBatchResult joinSideBySideFiles(std::span<const std::string> inputs, bool cross,
                                      BatchReporter& reporter,
                                      const std::function<bool()>& stopRequested) {
    StereoBatchResult result;
    result.fileCount = std::count_if(inputs.begin(), inputs.end(), [&](const std::string& input) {
        return assumedOrderFor(pathFromUtf8(input), cross).has_value();
    });
    MadeOutputs made;
    for (const std::string& input : inputs) {
        const fs::path path = pathFromUtf8(input);
        const std::optional<StereoOrder> assumed = assumedOrderFor(path, cross);
        if (!assumed) {
            reporter.showMessage(input +
                                 " is not a side-by-side picture: its name must end in .jps or "
                                 ".jpg");
            continue;
        }
        if (result.filesDealtWith > 0 && stopRequested && stopRequested()) {
            result.stopped = true;
            break;
        }
        const std::int64_t number = ++result.filesDealtWith;
        const fs::path output = joinedOutputFor(path);
        reporter.setStatus("Picture: " + std::to_string(number) + ", " + utf8Text(output));
        result.made += joinOne(input, output, *assumed, made, reporter);
    }
    return result;
}

std::string sideBySideSummaryText(const StereoBatchResult& result) {
    return summary("Pictures made side by side: ", "pair", result);
}

std::string fromSideBySideSummaryText(const StereoBatchResult& result) {
    return summary("Side-by-side pictures joined into MPO files: ", "picture", result);
}

} // namespace twinframe
