#pragma once

#include "split/BatchReporter.h"
#include "stereo/sideBySide.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace twinframe {

// Stereo pairs given as files made into side-by-side pictures beside them, and side-by-side
// pictures cut back into stereo MPO files, one file after another, with the texts that tell how
// it went. The transforms themselves work in memory (sideBySide.h); this reads and writes files.

// The names a batch takes of the names the user gave: each folder replaced by what it holds
// for the batch, in name order, and problems for folders that cannot be read or hold nothing.
struct StereoArguments {
    std::vector<std::string> files;
    std::vector<std::string> problems;
};

// For a side-by-side batch: a folder gives its MPO files (.mpo in any case) and its left pictures
// (NAME-L.jpg, as --join takes them); a right picture whose left is also named is taken with that
// pair and left out, as withoutPairedRights leaves it.
StereoArguments sideBySideArguments(std::span<const std::string> arguments);

// For a batch that cuts side-by-side pictures: a folder gives its .jps files (in any case).
StereoArguments fromSideBySideArguments(std::span<const std::string> arguments);

// Where a side-by-side picture of input goes, beside it: NAME.jps in cross-eyed order,
// NAME-LR.jpg in parallel order. NAME is a stereo MPO's name without its last four characters
// (as the split names its halves), a left picture's name before its -L. The folder part stays
// as it was given.
std::filesystem::path sideBySideOutputFor(const std::filesystem::path& input, StereoOrder order);

// Where the MPO cut from a side-by-side picture goes, beside it: NAME.mpo, NAME being its name
// without its extension and, for a .jpg or .jpeg, without a trailing -LR (in any case).
std::filesystem::path joinedOutputFor(const std::filesystem::path& input);

// The order a side-by-side picture is taken in when it does not say: a .jps file is cross-eyed,
// as the format has it; any other (a .jpg) is parallel unless cross says otherwise. None when
// the name is neither a .jps nor a JPEG name (.jpg, .jpeg).
std::optional<StereoOrder> assumedOrderFor(const std::filesystem::path& input, bool cross);

struct StereoBatchResult {
    std::int64_t fileCount = 0;      // every input the batch numbers
    std::int64_t filesDealtWith = 0; // those it went through before it ended
    std::int64_t made = 0;           // outputs actually written
    bool stopped = false;            // asked to stop, with inputs left untouched
};

// Makes a side-by-side picture in order of each input, a stereo MPO or a left picture with its
// right, beside it. Never replaces a file (one made earlier in the batch included). Reports a
// status line per input ("Pair: K, OUTPUT", numbered from 1 over the inputs it can take) and each
// problem, and what a made picture lost, as a message; goes on after one. stopRequested (when
// given) is asked between two inputs, never while one is being worked on.
StereoBatchResult makeSideBySideFiles(std::span<const std::string> inputs, StereoOrder order,
                                      BatchReporter& reporter,
                                      const std::function<bool()>& stopRequested = {});

// Cuts each side-by-side picture of inputs into its two pictures and joins them into a stereo
// MPO beside it, as --join joins a pair; the order is the picture's own when it says, else
// assumedOrderFor(input, cross). Status lines "Picture: K, OUTPUT"; otherwise as above.
StereoBatchResult joinSideBySideFiles(std::span<const std::string> inputs, bool cross,
                                      BatchReporter& reporter,
                                      const std::function<bool()>& stopRequested = {});

// "Pictures made side by side: N"; for a stopped batch "Stopped after pair K of N" follows on a
// line of its own.
std::string sideBySideSummaryText(const StereoBatchResult& result);

// "Side-by-side pictures joined into MPO files: N", and "Stopped after picture K of N".
std::string fromSideBySideSummaryText(const StereoBatchResult& result);

} // namespace twinframe
