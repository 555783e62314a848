#pragma once

#include "BatchReporter.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace twinframe {

// Joining a left and a right JPEG into a stereo MPO, without decoding: the compressed pictures
// are copied byte for byte, and only the segments an MPO needs are written new.

struct ByteRange {
    std::size_t first = 0;
    std::size_t end = 0; // one past the last byte
    std::size_t size() const { return end - first; }
};

enum class JoinInputKind {
    picture,     // one JPEG picture, which a join can take
    notJpeg,     // no SOI, or its segments do not reach a start of scan (or name no frame size)
    secondImage, // another picture follows its end: a whole MPO, or pictures stuck together
};

// What a join needs to know of one input, read from its bytes alone.
struct JoinInput {
    JoinInputKind kind = JoinInputKind::notJpeg;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::optional<ByteRange> exif; // its Exif APP1 segment, marker included
    std::vector<ByteRange> kept;   // everything after SOI up to its end, less what is rewritten
    std::size_t imageEnd = 0;      // one past its EOI (the end of the bytes when it has none)
};

// Walks the marker segments up to the first start of scan, then the compressed data to the EOI
// (across the further scans and tables of a progressive picture). A camera's MP segments
// (APP2 "MPF\0") are left out of kept, since the join writes its own; so is the Exif segment,
// which the join moves to the front. Reads nothing outside bytes, whatever they hold.
JoinInput readJoinInput(std::span<const std::uint8_t> bytes);

enum class JoinRefusal {
    none,
    sizesDiffer, // the pictures' frames differ in width or height
    tooLarge,    // an MP index counts in 32 bits: the file would pass 4 GiB
};

// The joined file as pieces to write in order. Pieces point into the two inputs (which must
// outlive the plan) and into the segments the plan made.
class JoinPlan {
  public:
    JoinPlan() = default;
    JoinPlan(const JoinPlan&) = delete;
    JoinPlan& operator=(const JoinPlan&) = delete;
    JoinPlan(JoinPlan&&) = default;
    JoinPlan& operator=(JoinPlan&&) = default;

    JoinRefusal refusal = JoinRefusal::none;
    std::vector<std::span<const std::uint8_t>> pieces;
    std::uint64_t mpHeaderOffset = 0; // where MP offsets count from
    std::uint64_t firstSize = 0;      // the first image, SOI to EOI
    std::uint64_t secondStart = 0;    // after the left's own bytes past its EOI, if any
    std::uint64_t secondSize = 0;
    std::uint64_t totalSize = 0;

    std::vector<std::uint8_t> bytes() const; // the pieces joined, for checks in memory

  private:
    friend JoinPlan planJoin(std::span<const std::uint8_t>, const JoinInput&,
                             std::span<const std::uint8_t>, const JoinInput&);
    std::array<std::vector<std::uint8_t>, 4> made_; // Exif and MP segments of both images
};

// Lays out the MPO of two inputs that readJoinInput found to be pictures.
JoinPlan planJoin(std::span<const std::uint8_t> left, const JoinInput& leftInput,
                  std::span<const std::uint8_t> right, const JoinInput& rightInput);

// The files a left picture NAME-L.jpg goes with: NAME-R.jpg beside it (the R in the case of its
// L; the extension as written) and the output NAME.mpo. None when the name does not end in -L.jpg
// (in any case).
struct PairNames {
    std::filesystem::path right;
    std::filesystem::path output;
};
std::optional<PairNames> pairNamesFor(const std::filesystem::path& left);

struct JoinResult {
    std::string problem; // the user's text, naming the file and the reason; empty when joined
    bool joined() const { return problem.empty(); }
};

// Joins the pictures left and right into a new file output. Never replaces a file: when output
// exists (or appears meanwhile) nothing is written. Messages name files as the paths are given.
JoinResult joinPair(const std::filesystem::path& left, const std::filesystem::path& right,
                    const std::filesystem::path& output);

struct JoinBatchResult {
    std::int64_t pairCount = 0;      // every left picture given
    std::int64_t pairsDealtWith = 0; // those the batch went through before it ended
    std::int64_t joined = 0;         // pairs actually joined
    bool stopped = false;            // asked to stop, with pictures left untouched
};

// Joins each left picture named in lefts with its right picture, into the output pairNamesFor
// gives or, for a single left, into output when that is given. Reports a status line per pair
// and each problem as a message, and goes on after one. stopRequested (when given) is asked
// between two pairs, never while one is being joined.
JoinBatchResult joinPairs(std::span<const std::string> lefts,
                          const std::optional<std::filesystem::path>& output,
                          BatchReporter& reporter, const std::function<bool()>& stopRequested = {});

// "Pairs joined: N"; for a stopped batch a line "Stopped after pair K of N" follows.
std::string joinSummaryText(const JoinBatchResult& result);

} // namespace twinframe
