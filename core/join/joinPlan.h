#pragma once

#include "join/joinInput.h"

#include <cstdint>
#include <span>
#include <vector>

namespace twinframe {

// An MP index counts in 32 bits: no joined file may pass this size.
inline constexpr std::uint64_t kLargestMpo = 0xFFFFFFFF;

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

} // namespace twinframe
