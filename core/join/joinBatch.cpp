#include "join/joinBatch.h"

#include "asciiCase.h"
#include "platform/fileSystem.h"

#include <algorithm>
#include <set>
#include <string_view>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

// Where the extension of a picture's name begins: its ".jpg" or ".jpeg", in any case; npos
// without one.
std::size_t pictureExtensionAt(const std::string& leaf) {
    const std::string lower = asciiLowered(leaf);
    for (const std::string_view extension : {".jpg", ".jpeg"})
        if (lower.size() > extension.size() && lower.ends_with(extension))
            return lower.size() - extension.size();
    return std::string::npos;
}

} // namespace

std::optional<PairNames> pairNamesFor(const fs::path& left) {
    const std::string leaf = utf8Text(left.filename());
    const std::size_t extension = pictureExtensionAt(leaf);
    // At least one character of NAME, then "-L".
    if (extension == std::string::npos || extension < 3 || leaf[extension - 2] != '-' ||
        (leaf[extension - 1] != 'L' && leaf[extension - 1] != 'l'))
        return std::nullopt;
    const std::string name = leaf.substr(0, extension - 2);
    std::string rightLeaf = leaf;
    rightLeaf[extension - 1] = leaf[extension - 1] == 'L' ? 'R' : 'r';
    // The folder part as it was given, separators included.
    return PairNames{fs::path(left).replace_filename(pathFromUtf8(rightLeaf)),
                     fs::path(left).replace_filename(pathFromUtf8(name + ".mpo"))};
}

JoinBatchResult joinPairs(std::span<const std::string> lefts, const std::optional<fs::path>& output,
                          BatchReporter& reporter, const std::function<bool()>& stopRequested,
                          const JoinAction& join) {
    JoinBatchResult result;
    // Pairs are numbered over the left pictures alone, so the numbers run without gaps.
    result.pairCount = std::count_if(lefts.begin(), lefts.end(), [](const std::string& left) {
        return pairNamesFor(pathFromUtf8(left));
    });
    for (const std::string& left : lefts) {
        const fs::path leftPath = pathFromUtf8(left);
        std::optional<PairNames> names = pairNamesFor(leftPath);
        if (!names) {
            reporter.showMessage(left + " is not a left picture: its name must end in -L.jpg");
            continue;
        }
        if (result.pairsDealtWith > 0 && stopRequested && stopRequested()) {
            result.stopped = true;
            break;
        }
        const std::int64_t pairNumber = ++result.pairsDealtWith;
        if (output && lefts.size() == 1)
            names->output = *output;
        reporter.setStatus("Pair: " + std::to_string(pairNumber) + ", " + utf8Text(names->output));
        const JoinResult joined = join(leftPath, names->right, names->output);
        if (joined.joined())
            ++result.joined;
        else
            reporter.showMessage(joined.problem);
    }
    return result;
}

std::vector<std::string>
namesInFolder(const std::filesystem::path& folder,
              const std::function<bool(const std::filesystem::path&)>& takes,
              std::error_code& error) {
    namespace fs = std::filesystem;
    std::vector<std::string> leaves;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const fs::path& path = entry->path();
        std::error_code statusError;
        if (fs::is_regular_file(path, statusError) && !isHidden(path) && takes(path))
            leaves.push_back(utf8Text(path.filename()));
    }
    std::sort(leaves.begin(), leaves.end());
    std::vector<std::string> names;
    for (const std::string& leaf : leaves)
        names.push_back(utf8Text(folder / pathFromUtf8(leaf)));
    return names;
}

std::string joinSummaryText(const JoinBatchResult& result) {
    std::string text = "Pairs joined: " + std::to_string(result.joined);
    if (result.stopped)
        text += "\nStopped after pair " + std::to_string(result.pairsDealtWith) + " of " +
                std::to_string(result.pairCount);
    return text;
}

namespace {

// The right pictures that the given left pictures go with, as files and as spelled.
struct RightsOfLefts {
    std::set<FileIdentity> identities;
    std::set<std::string> spellings;

    explicit RightsOfLefts(std::span<const std::string> files) {
        for (const std::string& file : files) {
            if (const auto names = pairNamesFor(pathFromUtf8(file))) {
                if (const auto identity = identityOf(names->right))
                    identities.insert(*identity);
                spellings.insert(utf8Text(names->right.lexically_normal()));
            }
        }
    }
    bool hold(const std::string& file) const {
        const fs::path path = pathFromUtf8(file);
        const auto identity = identityOf(path);
        return (identity && identities.count(*identity) > 0) ||
               spellings.count(utf8Text(path.lexically_normal())) > 0;
    }
};

} // namespace

std::vector<std::string> withoutPairedRights(std::span<const std::string> files) {
    const RightsOfLefts rights(files);
    std::vector<std::string> kept;
    for (const std::string& file : files)
        if (pairNamesFor(pathFromUtf8(file)) || !rights.hold(file))
            kept.push_back(file);
    return kept;
}

} // namespace twinframe
