#pragma once

#include "format/mpFormat.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace twinframe {

// What the Multi-Picture index in a file's first image says about where its images are.
enum class MpIndexState {
    none,       // no index, or one that cannot be right: the file is split by scanning
    incomplete, // a sound index puts an image past the end of the file: the file was cut short
    usable,     // every image is where the index says: the file is split at its starts
};

struct MpIndex {
    MpIndexState state = MpIndexState::none;
    std::vector<std::int64_t> starts; // where each image begins; starts[0] is 0
    std::vector<std::int64_t> sizes;  // each image's size as the index gives it
    std::vector<std::uint32_t> types; // each image's type, the low 24 bits of its attribute
    std::size_t firstPastEnd = 0;     // incomplete: the number (from 1) of the first image cut off
    // none, but only because the bytes at hand ended where the index could go on: more of the
    // file's start might still hold one. A usable or incomplete answer never changes with more.
    bool headTooShort = false;
};

// Whether a usable index says the file is a stereo pair: exactly two images, both of the
// disparity type, wherever the second begins (the pictures of a pair can differ in size a lot).
bool indexesStereoPair(const MpIndex& index);

// What a stereo camera measured, from an image's MP Attribute IFD: the numbers stored, unchanged.
struct MpAttributes {
    std::uint32_t baseViewpoint = 1; // the view the others are measured from (1: the left)
    std::uint32_t convergenceNumerator = kUnknownFigure; // degrees, signed
    std::uint32_t convergenceDenominator = kUnknownFigure;
    std::uint32_t baselineNumerator = kUnknownFigure; // metres
    std::uint32_t baselineDenominator = kUnknownFigure;
    bool operator==(const MpAttributes&) const = default;
};

// The attributes an APP2 "MPF\0" segment gives, from its data (what follows the length field,
// "MPF\0" included): from its MP Attribute IFD, which the first image's segment chains after its
// index. A figure it lacks (or stores as another type) stays as in MpAttributes{}; none at all
// when the segment's header cannot be read. Nothing outside data is read.
std::optional<MpAttributes> readMpAttributes(std::span<const std::uint8_t> data);

// How far into a file its index is looked for. Cameras put it right after the Exif segment,
// which is at most 64 KiB; an index beyond this is treated as none.
inline constexpr std::size_t kIndexReach = 256 * 1024;

// Reads the index of a file of fileLength bytes whose first bytes are head (the whole file, or
// as much of its start as is at hand). An index not wholly inside head counts as none, and says
// so (headTooShort), so a caller can read a little of each file first and more only when needed.
// startsImage(offset) tells whether the bytes at offset (inside the file) are FF D8. No number
// in the file is trusted: every offset is checked in 64 bits against head and fileLength.
MpIndex readMpIndex(std::span<const std::uint8_t> head, std::int64_t fileLength,
                    const std::function<bool(std::int64_t offset)>& startsImage);

// The same for a file wholly in memory, looking as far into it as a file on disk.
MpIndex readMpIndex(std::span<const std::uint8_t> file);

} // namespace twinframe
