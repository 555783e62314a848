#include "ConsoleReporter.h"
#include "failure.h"
#include "runBatch.h"
#include "splitFile.h"
#include "version.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace twinframe;

constexpr int exitUsage = 2;

const char* const usageText = R"(Usage: twinframe-cli [--speed-hack] [--quiet] FILE...
Splits MPO files (stereo and multi-shot camera pictures) into their JPEG images, byte for byte,
writing each beside its source as one batch, in the order given.

  A stereo pair (second image near the middle) gives NAME-L.jpg and NAME-R.jpg; other files with
  several images give NAME-1.jpg, NAME-2.jpg, ...; a file with one image gives NAME.jpg. NAME is
  the file name without its last four characters. Existing files of those names are replaced.
  A file must begin with FF D8 FF E1 and be more than 100 bytes long. Images are cut where the
  file's own MP index says when that index is sound, otherwise where a scan finds them.

  --speed-hack  start each file's search at two thirds of the first image of the last file
                that held several images (faster on batches from one camera)
  --quiet       no progress lines
  --help        show this help
  --version     show the version

Exit status: 0 when every file was split without a message, 1 when any file drew one,
2 for a usage error.
)";

struct Options {
    bool speedHack = false;
    bool quiet = false;
    std::vector<std::string> files;
};

int usageError(const std::string& problem) {
    std::cerr << "twinframe-cli: " << problem << "\n"
              << "Try 'twinframe-cli --help' for more information.\n";
    return exitUsage;
}

// Names, before the batch, every argument the batch would pass over without a word.
int reportUnusableArguments(const std::vector<std::string>& files) {
    int unusable = 0;
    for (const std::string& file : files) {
        if (const std::error_code reason = whyPassedOver(file)) {
            std::cerr << "twinframe-cli: " << describeFailure("Cannot open", file, reason) << "\n";
            ++unusable;
        }
    }
    return unusable;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (optionsEnded || argument.empty() || argument.front() != '-' || argument == "-") {
            options.files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--speed-hack") {
            options.speedHack = true;
        } else if (argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "--help") {
            std::cout << usageText;
            return 0;
        } else if (argument == "--version") {
            std::cout << "twinframe-cli " << kVersionText << "\n";
            return 0;
        } else {
            return usageError("unknown option '" + argument + "'");
        }
    }
    if (options.files.empty())
        return usageError("no FILE given");

    const int unusable = reportUnusableArguments(options.files);

    std::vector<FileEntry> fileList;
    for (const std::string& file : options.files)
        fileList.push_back({file, true});

    ConsoleReporter reporter(std::cout, std::cerr, options.quiet);
    const BatchResult result = runBatch(
        fileList, {}, [&] { return options.speedHack; }, reporter);

    std::string summary = summaryText(result);
    std::replace(summary.begin(), summary.end(), '\r', '\n');
    std::cout << summary << "\n";
    return unusable + reporter.messageCount() > 0 ? 1 : 0;
}
