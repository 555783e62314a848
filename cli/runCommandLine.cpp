#include "ConsoleReporter.h"
#include "commandLine.h"
#include "joinCommand.h"
#include "platform/failure.h"
#include "sideBySideCommand.h"
#include "split/runBatch.h"
#include "split/splitFile.h"
#include "stopSignals.h"
#include "version.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace twinframe;

constexpr int exitUsage = 2;

const char* const usageText = R"(Usage: twinframe-cli [--speed-hack] [--quiet] FILE...
       twinframe-cli --join [--output OUT] [--quiet] FILE...
       twinframe-cli --side-by-side [--parallel] [--quiet] FILE...
       twinframe-cli --from-side-by-side [--cross] [--quiet] FILE...
Splits MPO files (stereo and multi-shot camera pictures) into their JPEG images, byte for byte,
writing each beside its source as one batch, in the order given.

  A stereo pair (second image near the middle, or two images the file's MP index types as a
  stereo pair's views) gives NAME-L.jpg and NAME-R.jpg; other files with several images give
  NAME-1.jpg, NAME-2.jpg, ...; a file with one image gives NAME.jpg. NAME is the file name
  without its last four characters. Existing files of those names are replaced, but NAME.jpg
  never replaces a different file (a camera's own JPEG) nor the input itself. A file must begin
  with FF D8 FF E1, be more than 100 bytes long and give at most 1000 images. Images are cut
  where the file's own MP index says when that index is sound, otherwise where a scan finds
  them. Outputs get the input's permissions (less the umask).

  --speed-hack  start each file's search at two thirds of the first image of the last file
                that held several images (faster on batches from one camera)
  --join        instead of splitting, join stereo pairs into MPO files: each FILE is a left
                picture NAME-L.jpg, its right is NAME-R.jpg beside it (-L, -R and the extension
                .jpg or .jpeg in any case, the same for both), and the output is NAME.mpo beside
                them. A right picture named too (as *.jpg names it) is taken with its pair; a
                folder gives the pairs it holds, in name order. The compressed pictures are
                copied byte for byte; the file gets the index of a standard stereo MPO. An
                existing file is never replaced. Each pair gives one progress line, then
                "Pairs joined: N".
  --output OUT  with --join and exactly one pair: write the MPO as OUT instead
  --side-by-side
                instead of splitting, make each stereo pair one side-by-side JPEG picture:
                each FILE is a stereo MPO (its two pictures found as the split finds -L and
                -R) or a left picture NAME-L.jpg with its right beside it, as --join takes
                them; a folder gives the MPO files and left pictures it holds, in name order.
                The output is NAME.jps beside it, the right eye's picture on the left for
                cross-eyed viewing (NAME: an MPO's name without its last four characters, a
                left picture's name before -L). The pictures are not decoded: their blocks
                are set side by side, so each half decodes to its picture's pixels. When the
                picture on the left is not a whole number of blocks wide, its last partial
                column of blocks is left out, with a message. An existing file is never
                replaced. Then "Pictures made side by side: N".
  --parallel    with --side-by-side: the left eye's picture on the left, as VR headsets and
                3D TVs take it, written as NAME-LR.jpg
  --from-side-by-side
                the way back: cut each side-by-side picture (a .jps, or a .jpg) into its two
                pictures, without decoding, and join them as --join does into NAME.mpo beside
                it (NAME: the name without its extension, and for a .jpg without a trailing
                -LR). A .jps is taken as cross-eyed and a .jpg as parallel, unless the picture
                says its order in its own _JPSJPS_ descriptor, which always wins. A folder
                gives the .jps files it holds, in name order. An existing file is never
                replaced. Then "Side-by-side pictures joined into MPO files: N".
  --cross       with --from-side-by-side: take a .jpg without a descriptor as cross-eyed
  --quiet       no progress lines
  --help        show this help
  --version     show the version

Exit status: 0 when every file was split (or pair joined, or picture made) without a
message, 1 when any drew one, 2 for a usage error, 130 when stopped by SIGINT or SIGTERM
(after the file being split), 141 when standard output was closed (after the file being split,
with no summary).
Control characters in file names are shown escaped (\n, \xHH).
)";

struct Options {
    bool speedHack = false;
    bool quiet = false;
    bool join = false;
    bool sideBySide = false;
    bool fromSideBySide = false;
    bool parallel = false;
    bool cross = false;
    std::optional<std::string> output;
    std::vector<std::string> files;
};

int usageError(const std::string& problem) {
    std::cerr << "twinframe-cli: " << consoleText(problem) << "\n"
              << "Try 'twinframe-cli --help' for more information.\n";
    return exitUsage;
}

// Names, before the batch, every argument the batch would pass over without a word.
int reportUnusableArguments(const std::vector<std::string>& files) {
    int unusable = 0;
    for (const std::string& file : files) {
        if (const std::error_code reason = whyPassedOver(pathFromUtf8(file))) {
            std::cerr << "twinframe-cli: "
                      << consoleText(describeFailure("Cannot open", file, reason)) << "\n";
            ++unusable;
        }
    }
    return unusable;
}

} // namespace

int twinframe::runCommandLine(const std::vector<std::string>& arguments) {
    const std::size_t argc = arguments.size();
    Options options;
    bool optionsEnded = false;
    for (std::size_t i = 1; i < argc; ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument.front() != '-' || argument == "-") {
            options.files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--speed-hack") {
            options.speedHack = true;
        } else if (argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "--join") {
            options.join = true;
        } else if (argument == "--side-by-side") {
            options.sideBySide = true;
        } else if (argument == "--from-side-by-side") {
            options.fromSideBySide = true;
        } else if (argument == "--parallel") {
            options.parallel = true;
        } else if (argument == "--cross") {
            options.cross = true;
        } else if (argument == "--output" || argument.starts_with("--output=")) {
            if (options.output)
                return usageError("--output given more than once");
            if (argument.size() > 8) {
                options.output = argument.substr(9);
            } else {
                if (i + 1 >= argc)
                    return usageError("--output needs a file name");
                options.output = arguments[++i];
            }
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
    if (options.output && !options.join)
        return usageError("--output goes with --join");
    if (options.join && options.speedHack)
        return usageError("--speed-hack does not go with --join");
    if (options.output && options.output->empty())
        return usageError("--output needs a file name");
    if (options.join + options.sideBySide + options.fromSideBySide > 1)
        return usageError("--join, --side-by-side and --from-side-by-side go one at a time");
    if (options.parallel && !options.sideBySide)
        return usageError("--parallel goes with --side-by-side");
    if (options.cross && !options.fromSideBySide)
        return usageError("--cross goes with --from-side-by-side");
    if ((options.sideBySide || options.fromSideBySide) && options.speedHack)
        return usageError("--speed-hack goes with splitting only");
    catchStopSignals();
    if (options.sideBySide)
        return runSideBySideCommand(
            options.files, options.parallel ? StereoOrder::parallel : StereoOrder::crossEyed,
            options.quiet);
    if (options.fromSideBySide)
        return runFromSideBySideCommand(options.files, options.cross, options.quiet);
    if (options.join) {
        // Counted once folders are opened and rights taken with their lefts: a.mpo from
        // "--output a.mpo a-L.jpg a-R.jpg" is one pair.
        const JoinArguments arguments = joinArguments(options.files);
        if (options.output && arguments.files.size() != 1)
            return usageError("--output takes exactly one pair");
        return runJoinCommand(arguments, options.output, options.quiet);
    }

    const int unusable = reportUnusableArguments(options.files);

    std::vector<FileEntry> fileList;
    for (const std::string& file : options.files)
        fileList.push_back({file, true});

    ConsoleReporter reporter(std::cout, std::cerr, options.quiet);
    const BatchResult result = runBatch(
        fileList, {}, [&] { return options.speedHack; }, reporter, stopRequested);

    std::string summary = summaryText(result);
    std::replace(summary.begin(), summary.end(), '\r', '\n');
    return endBatch(summary, reporter, unusable);
}
