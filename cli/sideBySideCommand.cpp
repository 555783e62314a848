#include "sideBySideCommand.h"

#include "ConsoleReporter.h"
#include "stereo/sideBySideBatch.h"
#include "stopSignals.h"

#include <iostream>

namespace twinframe {

namespace {

// Tells the arguments' problems, runs the batch, prints its summary; the exit status.
template <typename Batch, typename Summary>
int runStereoCommand(const StereoArguments& arguments, bool quiet, const Batch& batch,
                     const Summary& summary) {
    ConsoleReporter reporter(std::cout, std::cerr, quiet);
    for (const std::string& problem : arguments.problems)
        reporter.showMessage(problem);
    return endBatch(summary(batch(reporter)), reporter);
}

} // namespace

int runSideBySideCommand(const std::vector<std::string>& files, StereoOrder order, bool quiet) {
    const StereoArguments arguments = sideBySideArguments(files);
    return runStereoCommand(
        arguments, quiet,
        [&](BatchReporter& reporter) {
            return makeSideBySideFiles(arguments.files, order, reporter, stopRequested);
        },
        sideBySideSummaryText);
}

int runFromSideBySideCommand(const std::vector<std::string>& files, bool cross, bool quiet) {
    const StereoArguments arguments = fromSideBySideArguments(files);
    return runStereoCommand(
        arguments, quiet,
        [&](BatchReporter& reporter) {
            return joinSideBySideFiles(arguments.files, cross, reporter, stopRequested);
        },
        fromSideBySideSummaryText);
}

} // namespace twinframe
