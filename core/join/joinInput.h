#pragma once

#include "format/mpIndex.h"
#include "join/joinInputBytes.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace twinframe {

// Joining a left and a right JPEG into a stereo MPO, without decoding: the compressed pictures
// are copied byte for byte, and only the segments an MPO needs are written new. First each input
// is read and checked, without holding more than a block of it.

struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t end = 0; // one past the last byte
    std::uint64_t size() const { return end - first; }
    bool operator==(const ByteRange&) const = default;
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

} // namespace twinframe
