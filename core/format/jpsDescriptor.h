#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace twinframe {

// The stereo descriptor a side-by-side JPEG carries in an APP3 segment, named once for the writer
// and the reader. The segment as we write it (offsets in the segment):
//
//     0  FF E3                       APP3 marker
//     2  00 10                       length: 16, all but the marker
//     4  5F 4A 50 53 4A 50 53 5F     "_JPSJPS_"
//    12  00 04                       length of the descriptor: 4, big-endian
//    14  00                          bits 24-31: separation (0: none)
//    15  04 or 00                    bits 16-23: flags; 04 the left eye's picture comes first
//    16  02                          bits 8-15: layout; 02 side by side
//    17  01                          bits 0-7: media type; 01 stereo
//    18                              end (a comment block, a 16-bit length and text, may follow)
//
// The descriptor is one 32-bit value stored big-endian, as everything in a JPEG is: its media
// type is the last byte. A descriptor without the left-first flag puts the right eye's picture
// first, the cross-eyed layout the format takes by default.

inline constexpr std::uint8_t kApp3Marker = 0xE3;
inline constexpr std::string_view kJpsIdentifier = "_JPSJPS_";
inline constexpr std::uint16_t kJpsDescriptorLength = 4;

inline constexpr std::uint32_t kJpsMediaTypeMask = 0x000000FF;
inline constexpr std::uint32_t kJpsMediaStereo = 0x00000001;
inline constexpr std::uint32_t kJpsLayoutMask = 0x0000FF00;
inline constexpr std::uint32_t kJpsLayoutSideBySide = 0x00000200;
inline constexpr std::uint32_t kJpsFlagHalfHeight = 0x00010000;
inline constexpr std::uint32_t kJpsFlagHalfWidth = 0x00020000;
inline constexpr std::uint32_t kJpsFlagLeftFirst = 0x00040000;

// A stereo side-by-side descriptor, the left eye's picture first or the right's.
constexpr std::uint32_t sideBySideDescriptor(bool leftFirst) {
    return kJpsMediaStereo | kJpsLayoutSideBySide | (leftFirst ? kJpsFlagLeftFirst : 0);
}

// The data of an APP3 segment holding descriptor (what follows the segment's length field).
std::vector<std::uint8_t> jpsSegmentData(std::uint32_t descriptor);

// The descriptor in the data of an APP3 segment (after its length field); none when the data is
// not a "_JPSJPS_" block or is too short to hold a descriptor.
std::optional<std::uint32_t> readJpsDescriptor(std::span<const std::uint8_t> app3Data);

// Whether a descriptor says the left eye's picture is first in a side-by-side picture; none when
// it does not describe a stereo side-by-side picture.
std::optional<bool> sideBySideLeftFirst(std::uint32_t descriptor);

} // namespace twinframe
