#include "joinCommand.h"

#include "ConsoleReporter.h"
#include "join/joinBatch.h"
#include "platform/failure.h"
#include "platform/fileSystem.h"
#include "stopSignals.h"

#include <iostream>

namespace twinframe {

namespace fs = std::filesystem;

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
        const std::vector<std::string> lefts = namesInFolder(
            path, [](const fs::path& name) { return pairNamesFor(name).has_value(); }, error);
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
    return endBatch(joinSummaryText(result), reporter);
}

} // namespace twinframe
