#pragma once

#include "BatchReporter.h"
#include "fileSystem.h"
#include "format/mpIndex.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace twinframe {

// Joining a left and a right JPEG into a stereo MPO, without decoding: the compressed pictures
// are copied byte for byte, and only the segments an MPO needs are written new.

struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0; // one past the last byte
    std::uint64_t size() const { return end - first; }
    bool operator==(const ByteRange&) const = default;
};

// How much of an input is held at a time while it is read: small enough for the processor's
// cache, large enough that a header segment (at most 64 KiB) always fits.
inline constexpr std::size_t kJoinBlockSize = 256 * 1024;

// An input of a join as its reading sees it: bytes in memory (tests, the fuzzer, the page), or
// a file fetched one block at a time, so that only a block of it is ever held whatever its size.
class JoinInputBytes {
  public:
    // Fills data with size bytes from offset on, telling in got how many there were.
    using Fetch = std::function<std::error_code(std::uint64_t offset, std::uint8_t* data,
                                                std::size_t size, std::size_t& got)>;

    explicit JoinInputBytes(std::span<const std::uint8_t> bytes);
    JoinInputBytes(std::uint64_t size, Fetch fetch, std::size_t blockSize = kJoinBlockSize);

    std::uint64_t size() const { return size_; }

    // Bytes from offset on: at least min(wanted, size() - offset) of them, often more. Empty at
    // or past the end, and when a fetch failed or came short (error() then says why).
    std::span<const std::uint8_t> at(std::uint64_t offset, std::size_t wanted);
    std::error_code error() const { return error_; }

  private:
    std::span<const std::uint8_t> inMemory_;
    std::uint64_t size_ = 0;
    Fetch fetch_;
    std::vector<std::uint8_t> block_;
    std::size_t blockSize_ = kJoinBlockSize;
    std::uint64_t blockStart_ = 0;
    std::size_t blockLength_ = 0;
    std::error_code error_;
};

enum class JoinInputKind {
    picture,     // one JPEG picture, which a join can take
    notJpeg,     // no SOI, or its segments do not reach a start of scan (or name no frame size)
    cutShort,    // its bytes end before its EOI: an interrupted copy
    secondImage, // another picture follows its end: a whole MPO, or pictures stuck together
};

// What a join needs to know of one input, read from its bytes alone: the plan is made from this,
// and the bytes are then copied from the input by their ranges.
struct JoinInput {
    JoinInputKind kind = JoinInputKind::notJpeg;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t size = 0;        // the whole input
    std::optional<ByteRange> exif; // its Exif: the first Exif APP1 and any straight after it
    std::vector<ByteRange> kept;   // everything after SOI up to its end, less what is rewritten
    std::uint64_t imageEnd = 0;    // one past its EOI
    std::optional<MpAttributes> mpAttributes; // what its own MP segment says, when it has one
    bool operator==(const JoinInput&) const = default;
};

// Walks the marker segments up to the first start of scan, then the compressed data to the EOI
// (across the further scans and tables of a progressive picture), then what follows, for a
// further picture. A camera's MP segments (APP2 "MPF\0") are left out of kept, since the join
// writes its own; so is the Exif, which the join moves to the front. Reads every byte once, in
// order, and nothing outside the input, whatever it holds; a failed read gives notJpeg with
// bytes.error() set.
JoinInput readJoinInput(JoinInputBytes& bytes);
JoinInput readJoinInput(std::span<const std::uint8_t> bytes);

enum class JoinRefusal {
    none,
    sizesDiffer, // the pictures' frames differ in width or height
    tooLarge,    // an MP index counts in 32 bits: the file would pass 4 GiB
};

// Where a piece of the joined file comes from: bytes the join made, or the left or right input.
enum class JoinSource { made, left, right };

struct JoinPiece {
    JoinSource source = JoinSource::made;
    ByteRange range; // in the plan's made bytes, or in the input
    bool operator==(const JoinPiece&) const = default;
};

// The joined file as pieces to write in order. It holds no input bytes, only their ranges, so a
// writer copies them from wherever the inputs are (open files here, the user's File objects in
// the page).
struct JoinPlan {
    JoinRefusal refusal = JoinRefusal::none;
    std::vector<JoinPiece> pieces;
    std::vector<std::uint8_t> made;   // SOIs, Exif and MP segments the join wrote
    std::uint64_t mpHeaderOffset = 0; // where MP offsets count from
    std::uint64_t firstSize = 0;      // the first image, SOI to EOI
    std::uint64_t secondStart = 0;    // after the left's own bytes past its EOI, if any
    std::uint64_t secondSize = 0;
    std::uint64_t totalSize = 0;
};

// Lays out the MPO of two inputs that readJoinInput found to be pictures. The left's MP
// attributes (a half split from a camera MPO carries them) are kept for both images.
JoinPlan planJoin(const JoinInput& left, const JoinInput& right);

// The joined file in memory, for inputs in memory: for checks, and files small enough to hold.
std::vector<std::uint8_t> joinedBytes(const JoinPlan& plan, std::span<const std::uint8_t> left,
                                      std::span<const std::uint8_t> right);

// Writes the joined file to output: the made pieces as they are, the ranges copied from the open
// inputs (in the kernel where the platform can).
std::error_code writeJoin(const JoinPlan& plan, NativeFile left, NativeFile right,
                          NativeFile output);

// The files a left picture NAME-L.jpg goes with: NAME-R.jpg beside it (the R in the case of its
// L; the extension as written) and the output NAME.mpo. None when the name does not end in -L.jpg
// or -L.jpeg (in any case).
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
// exists (or appears meanwhile) nothing is written; nor when left and right are one file, or
// either is not a whole picture. Messages name files as the paths are given.
JoinResult joinPair(const std::filesystem::path& left, const std::filesystem::path& right,
                    const std::filesystem::path& output);

struct JoinBatchResult {
    std::int64_t pairCount = 0;      // every left picture given
    std::int64_t pairsDealtWith = 0; // those the batch went through before it ended
    std::int64_t joined = 0;         // pairs actually joined
    bool stopped = false;            // asked to stop, with pictures left untouched
};

// Reads left and right and lays out their join into plan, as joinPair does, without writing
// anything: for a writer of its own (the page, which offers the file as a download made of the
// plan's bytes and slices of the pictures). Whether output exists is not looked at.
JoinResult planPair(const std::filesystem::path& left, const std::filesystem::path& right,
                    const std::filesystem::path& output, JoinPlan& plan);

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

// Why a pair was not joined into output: a file of that name is there (or was joined earlier
// in the same batch, where the page makes the file).
std::string outputExistsText(const std::filesystem::path& output);

// "Pairs joined: N"; for a stopped batch a line "Stopped after pair K of N" follows.
std::string joinSummaryText(const JoinBatchResult& result);

} // namespace twinframe
