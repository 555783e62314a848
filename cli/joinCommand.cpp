#include "joinCommand.h"

#include "ConsoleReporter.h"
#include "joinPair.h"
#include "stopSignals.h"

#include <iostream>

namespace twinframe {

int runJoinCommand(const std::vector<std::string>& lefts, const std::optional<std::string>& output,
                   bool quiet) {
    ConsoleReporter reporter(std::cout, std::cerr, quiet);
    std::optional<std::filesystem::path> outputPath;
    if (output)
        outputPath = *output;
    const JoinBatchResult result = joinPairs(lefts, outputPath, reporter, stopRequested);
    if (!outputClosed())
        std::cout << joinSummaryText(result) << std::endl;
    if (outputClosed())
        return kExitOutputClosed;
    if (stopSignalled())
        return kExitStopped;
    return reporter.messageCount() > 0 ? 1 : 0;
}

} // namespace twinframe
