#pragma once

#include "join/joinPair.h"
#include "split/BatchReporter.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace twinframe {

// Joining the pictures named by the user, pair after pair, and the texts that tell how it went.

// The files a left picture NAME-L.jpg goes with: NAME-R.jpg beside it (the R in the case of its
// L; the extension as written) and the output NAME.mpo. None when the name does not end in -L.jpg
// or -L.jpeg (in any case).
struct PairNames {
    std::filesystem::path right;
    std::filesystem::path output;
};
std::optional<PairNames> pairNamesFor(const std::filesystem::path& left);

struct JoinBatchResult {
    std::int64_t pairCount = 0;      // every left picture given
    std::int64_t pairsDealtWith = 0; // those the batch went through before it ended
    std::int64_t joined = 0;         // pairs actually joined
    bool stopped = false;            // asked to stop, with pictures left untouched
};

// What is done with one pair: joinPair, or a stand-in that makes the file elsewhere.
using JoinAction =
    std::function<JoinResult(const std::filesystem::path& left, const std::filesystem::path& right,
                             const std::filesystem::path& output)>;

// Joins each left picture named in lefts with its right picture, into the output pairNamesFor
// gives or, for a single left, into output when that is given. Reports a status line per pair
// (numbered from 1 over the left pictures) and each problem as a message, and goes on after one.
// stopRequested (when given) is asked between two pairs, never while one is being joined. join is
// what is done with each pair: joinPair, or a stand-in that makes the file elsewhere.
JoinBatchResult joinPairs(std::span<const std::string> lefts,
                          const std::optional<std::filesystem::path>& output,
                          BatchReporter& reporter, const std::function<bool()>& stopRequested = {},
                          const JoinAction& join = joinPair);

// The names a join takes of names given together (a shell's glob of both pictures, or the
// pictures dropped on the page), in their order: every one but a right picture whose left is
// among them (by name, or as the same file), which is joined with that pair. A right alone stays,
// to be told it is not a left picture.
std::vector<std::string> withoutPairedRights(std::span<const std::string> files);

// The names of the files in folder that takes accepts (visible regular files, or links to them),
// in name order, each with the folder before it as given: what a folder named to a batch gives.
std::vector<std::string>
namesInFolder(const std::filesystem::path& folder,
              const std::function<bool(const std::filesystem::path&)>& takes,
              std::error_code& error);

// "Pairs joined: N"; for a stopped batch a line "Stopped after pair K of N" follows.
std::string joinSummaryText(const JoinBatchResult& result);

} // namespace twinframe
