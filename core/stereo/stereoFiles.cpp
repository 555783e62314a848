#include "stereo/stereoFiles.h"

#include "asciiCase.h"
#include "join/joinBatch.h"
#include "join/joinPair.h"
#include "join/joinPlan.h"
#include "platform/failure.h"
#include "split/splitFile.h"
#include "stereo/sideBySideBatch.h"

#include <algorithm>
#include <new>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

// The arguments with each folder replaced by the names in it that takes accepts, as keep
// leaves them.
template <typename Takes, typename Keep>
StereoArguments expandFolders(std::span<const std::string> arguments, const Takes& takes,
                              const std::string& noneText, const Keep& keep) {
    StereoArguments result;
    for (const std::string& argument : arguments) {
        std::error_code error;
        const fs::path path = pathFromUtf8(argument);
        if (!fs::is_directory(path, error)) {
            result.files.push_back(argument);
            continue;
        }
        const std::vector<std::string> names = keep(namesInFolder(path, takes, error));
        if (error)
            result.problems.push_back(describeFailure("Cannot open", argument, error));
        else if (names.empty())
            result.problems.push_back(argument + noneText);
        result.files.insert(result.files.end(), names.begin(), names.end());
    }
    return result;
}

// The name without its last four characters, never cutting a UTF-8 character in two: what the
// split's outputs are named after.
std::string mpoName(const std::string& leaf) {
    std::string name = outputName(leaf, ""); // the name, then ".jpg"
    name.resize(name.size() - 4);
    return name;
}

std::error_code readAll(NativeFile file, std::int64_t length, std::vector<std::uint8_t>& bytes) {
    const auto size = static_cast<std::size_t>(length);
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return std::make_error_code(std::errc::not_enough_memory);
    }
    std::size_t got = 0;
    if (const std::error_code error = readAt(file, bytes.data(), size, 0, got))
        return error;
    // Fewer bytes than the file had when opened: it was cut short meanwhile.
    return got == size ? std::error_code() : make_error_code(Refusal::inputChanged);
}

} // namespace

std::string loweredExtension(const fs::path& path) {
    return asciiLowered(utf8Text(path.filename().extension()));
}

bool hasJpegName(const fs::path& path) {
    const std::string extension = loweredExtension(path);
    return extension == ".jpg" || extension == ".jpeg";
}

// A folder's names less the left pictures split from one of its MPO files: a card that was
// split already holds DSCF0001.MPO beside DSCF0001-L.jpg and DSCF0001-R.jpg, one pair twice over,
// and both would make DSCF0001.jps. The camera's own file is the one taken.
std::vector<std::string> withoutSplitHalves(std::vector<std::string> names) {
    std::vector<std::string> mpoOutputs;
    for (const std::string& name : names)
        if (!pairNamesFor(pathFromUtf8(name)))
            mpoOutputs.push_back(asciiLowered(
                utf8Text(sideBySideOutputFor(pathFromUtf8(name), StereoOrder::crossEyed))));
    std::erase_if(names, [&](const std::string& name) {
        const fs::path path = pathFromUtf8(name);
        if (!pairNamesFor(path))
            return false;
        const std::string output =
            asciiLowered(utf8Text(sideBySideOutputFor(path, StereoOrder::crossEyed)));
        return std::find(mpoOutputs.begin(), mpoOutputs.end(), output) != mpoOutputs.end();
    });
    return names;
}

StereoArguments sideBySideArguments(std::span<const std::string> arguments) {
    StereoArguments result = expandFolders(
        arguments,
        [](const fs::path& path) { return loweredExtension(path) == ".mpo" || pairNamesFor(path); },
        " holds no stereo pictures: no name in it ends in .mpo or -L.jpg", withoutSplitHalves);
    // A shell's glob (*.jpg) names both pictures of each pair: the right is part of its pair.
    result.files = withoutPairedRights(result.files);
    return result;
}

StereoArguments fromSideBySideArguments(std::span<const std::string> arguments) {
    return expandFolders(
        arguments, [](const fs::path& path) { return loweredExtension(path) == ".jps"; },
        " holds no side-by-side pictures: no name in it ends in .jps",
        [](std::vector<std::string> names) { return names; });
}

fs::path sideBySideOutputFor(const fs::path& input, StereoOrder order) {
    const auto pair = pairNamesFor(input);
    const std::string name = mpoName(utf8Text((pair ? pair->output : input).filename()));
    const std::string leaf = order == StereoOrder::crossEyed ? name + ".jps" : name + "-LR.jpg";
    // The folder part as it was given, separators included.
    return fs::path(input).replace_filename(pathFromUtf8(leaf));
}

fs::path joinedOutputFor(const fs::path& input) {
    const std::string leaf = utf8Text(input.filename());
    std::string name = leaf.substr(0, leaf.size() - loweredExtension(input).size());
    // NAME-LR.jpg is how a parallel side-by-side picture of NAME is named here.
    if (hasJpegName(input) && name.size() > 3 && asciiLowered(name).ends_with("-lr"))
        name.resize(name.size() - 3);
    return fs::path(input).replace_filename(pathFromUtf8(name + ".mpo"));
}

std::optional<StereoOrder> assumedOrderFor(const fs::path& input, bool cross) {
    if (loweredExtension(input) == ".jps")
        return StereoOrder::crossEyed;
    if (hasJpegName(input))
        return cross ? StereoOrder::crossEyed : StereoOrder::parallel;
    return std::nullopt;
}

std::string readStereoInput(const fs::path& path, StereoInput& input) {
    NativeFile file = kNoFile;
    std::int64_t length = 0;
    std::string problem = openPicture(path, file, length);
    const struct Closing {
        NativeFile file;
        ~Closing() { closeFile(file); }
    } closing{file};
    if (!problem.empty())
        return problem;
    input.permissions = permissionsOf(file);
    if (const std::error_code error = readAll(file, length, input.bytes))
        return describeFailure("Cannot read", utf8Text(path), error);
    return {};
}

std::string MadeOutputs::whyTaken(const fs::path& output) const {
    if (!nameIsTaken(output))
        return {};
    if (const auto identity = identityOf(output)) {
        if (const auto earlier = made_.find(*identity); earlier != made_.end())
            return "Cannot write " + utf8Text(output) +
                   ": it was already written in this batch from " + earlier->second;
    }
    return outputExistsText(output);
}

std::string MadeOutputs::write(const fs::path& output, const std::vector<std::uint8_t>& bytes,
                               fs::perms permissions, const std::string& input) {
    // A batch killed on a card (no unnamed temporaries there) leaves its temporary behind.
    removeAbandonedTemporaries(output.has_parent_path() ? output.parent_path() : pathFromUtf8("."));
    const auto writeContent = [&bytes](NativeFile file) {
        return writeAll(file, bytes.data(), bytes.size());
    };
    // The file is named only once it is whole, and never over a file that has the name (or
    // takes it while this one is written): what is there is the user's, or this batch's.
    FileIdentity identity;
    const std::error_code error =
        writeFileAtomically(output, writeContent, &identity, TemporaryKind::unnamedWherePossible,
                            ExistingFile::keep, permissions);
    if (error == std::errc::file_exists)
        return outputExistsText(output);
    if (error)
        return describeFailure("Cannot write", utf8Text(output), error);
    made_[identity] = input;
    return {};
}

} // namespace twinframe
