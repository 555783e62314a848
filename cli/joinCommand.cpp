#include "joinCommand.h"

#include "ConsoleReporter.h"
#include "joinPair.h"
#include "pathText.h"

#include <iostream>

namespace twinframe {

int runJoinCommand(const std::vector<std::string>& lefts, const std::optional<std::string>& output,
                   bool quiet) {
    ConsoleReporter reporter(std::cout, std::cerr, quiet);
    std::optional<std::filesystem::path> outputPath;
    if (output)
        outputPath = pathFromUtf8(*output);
    const std::int64_t joined = joinPairs(lefts, outputPath, reporter);
    std::cout << joinSummaryText(joined) << "\n";
    return reporter.messageCount() > 0 ? 1 : 0;
}

} // namespace twinframe
