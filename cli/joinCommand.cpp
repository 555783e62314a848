#include "joinCommand.h"

#include "ConsoleReporter.h"
#include "failure.h"
#include "fileSystem.h"
#include "joinPair.h"

#include <algorithm>
#include <iostream>
#include <set>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

// The left pictures a folder holds (visible regular files, or links to them), in name order.
std::vector<std::string> leftPicturesIn(const fs::path& folder, std::error_code& error) {
    std::vector<std::string> names;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const fs::path& path = entry->path();
        std::error_code statusError;
        if (fs::is_regular_file(path, statusError) && !isHidden(path) && pairNamesFor(path))
            names.push_back(path.filename().string());
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> lefts;
    for (const std::string& name : names)
        lefts.push_back((folder / name).string());
    return lefts;
}

// The names (as files, and as spelled) of the right pictures that the given lefts go with.
struct Rights {
    std::set<FileIdentity> identities;
    std::set<std::string> spellings;

    explicit Rights(const std::vector<std::string>& files) {
        for (const std::string& file : files) {
            if (const auto names = pairNamesFor(file)) {
                if (const auto identity = identityOf(names->right))
                    identities.insert(*identity);
                spellings.insert(names->right.lexically_normal().string());
            }
        }
    }
    bool hold(const std::string& file) const {
        const auto identity = identityOf(file);
        return (identity && identities.count(*identity) > 0) ||
               spellings.count(fs::path(file).lexically_normal().string()) > 0;
    }
};

} // namespace

JoinArguments joinArguments(const std::vector<std::string>& arguments) {
    JoinArguments result;
    std::vector<std::string> expanded;
    for (const std::string& argument : arguments) {
        std::error_code error;
        if (!fs::is_directory(argument, error)) {
            expanded.push_back(argument);
            continue;
        }
        const std::vector<std::string> lefts = leftPicturesIn(argument, error);
        if (error)
            result.problems.push_back(describeFailure("Cannot open", argument, error));
        else if (lefts.empty())
            result.problems.push_back(argument +
                                      " holds no pictures to join: no name in it ends in -L.jpg");
        expanded.insert(expanded.end(), lefts.begin(), lefts.end());
    }
    // A shell's glob (*.jpg) names both pictures of each pair: the right is part of its pair.
    const Rights rights(expanded);
    for (const std::string& file : expanded)
        if (pairNamesFor(file) || !rights.hold(file))
            result.files.push_back(file);
    return result;
}

int runJoinCommand(const JoinArguments& arguments, const std::optional<std::string>& output,
                   bool quiet) {
    ConsoleReporter reporter(std::cout, std::cerr, quiet);
    for (const std::string& problem : arguments.problems)
        reporter.showMessage(problem);
    std::optional<std::filesystem::path> outputPath;
    if (output)
        outputPath = pathFromUtf8(*output);
    const std::int64_t joined = joinPairs(arguments.files, outputPath, reporter);
    std::cout << joinSummaryText(joined) << "\n";
    return reporter.messageCount() > 0 ? 1 : 0;
}

} // namespace twinframe
