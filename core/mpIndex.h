#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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
    std::size_t firstPastEnd = 0;     // incomplete: the number (from 1) of the first image cut off
    // none, but only because the bytes at hand ended where the index could go on: more of the
    // file's start might still hold one. A usable or incomplete answer never changes with more.
    bool headTooShort = false;
};

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
