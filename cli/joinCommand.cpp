#include "joinCommand.h"

#include "ConsoleReporter.h"
#include "join/joinBatch.h"
#include "platform/failure.h"
#include "platform/fileSystem.h"
#include "stopSignals.h"

#include <algorithm>
#include <iostream>

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
            names.push_back(utf8Text(path.filename()));
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> lefts;
    for (const std::string& name : names)
        lefts.push_back(utf8Text(folder / pathFromUtf8(name)));
    return lefts;
}

} // namespace

JoinArguments joinArguments(const std::vector<std::string>& arguments) {
    JoinArguments result;
    std::vector<std::string> expanded;
    for (const std::string& argument : arguments) {
        std::error_code error;
        const fs::path path = pathFromUtf8(argument);
        if (!fs::is_directory(path, error)) {
            expanded.push_back(argument);
            continue;
        }
        const std::vector<std::string> lefts = leftPicturesIn(path, error);
        if (error)
            result.problems.push_back(describeFailure("Cannot open", argument, error));
        else if (lefts.empty())
            result.problems.push_back(argument +
                                      " holds no pictures to join: no name in it ends in -L.jpg");
        expanded.insert(expanded.end(), lefts.begin(), lefts.end());
    }
    // A shell's glob (*.jpg) names both pictures of each pair: the right is part of its pair.
    result.files = withoutPairedRights(expanded);
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
    const JoinBatchResult result = joinPairs(arguments.files, outputPath, reporter, stopRequested);
    if (!outputClosed())
        std::cout << joinSummaryText(result) << std::endl;
    if (outputClosed())
        return kExitOutputClosed;
    if (stopSignalled())
        return kExitStopped;
    return reporter.messageCount() > 0 ? 1 : 0;
}

} // namespace twinframe
