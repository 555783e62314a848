#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace twinframe {

// The Multi-Picture segment: what the index reader (mpIndex.cpp) looks for and the segment writer
// (mpWriter.cpp) makes, named once for both.
//
// An APP2 segment whose data begins "MPF\0". After it comes the MP header, laid out like a TIFF
// file: a byte order mark, then the offset of the first IFD. Every offset inside it, and every
// image offset in the index, counts from the MP header's first byte (its base). The first
// image's segment as the writer makes it, with offsets in the segment and [from the base]:
//
//     0  FF E2                       APP2 marker
//     2  00 9E                       length: 158, all but the marker
//     4  4D 50 46 00                 "MPF\0"
//     8  49 49 2A 00         [0]     byte order mark "II*\0" (little-endian; "MM\0*" big-endian)
//    12  08 00 00 00         [4]     offset of the MP Index IFD
//    16  03 00               [8]     MP Index IFD: three entries of 12 bytes
//    18  B000 UNDEFINED 4    [10]      MPFVersion "0100", in the entry
//    30  B001 LONG 1         [22]      NumberOfImages: 2
//    42  B002 UNDEFINED 32   [34]      MPEntry: its table is at [50]
//    54  52 00 00 00         [46]    offset of the next IFD, the MP Attribute IFD
//    58  MPEntry 1           [50]    attribute 20020002 (representative, disparity), size,
//                                      offset 0 (the start of the file), two dependents 0
//    74  MPEntry 2           [66]    attribute 00020002, size, offset from the base, dependents 0
//    90  04 00               [82]    MP Attribute IFD: four entries
//    92  B101 LONG 1         [84]      MPIndividualNum: 1
//   104  B204 LONG 1         [96]      BaseViewpointNum
//   116  B205 SRATIONAL 1    [108]     ConvergenceAngle: its value is at [136]
//   128  B206 RATIONAL 1     [120]     BaselineLength: its value is at [144]
//   140  00 00 00 00         [132]   no next IFD
//   144  numerator, denominator [136] of the convergence angle (degrees)
//   152  numerator, denominator [144] of the baseline (metres)
//   160                              end
//
// A later image's segment holds only an MP Attribute IFD at [8]: MPFVersion, MPIndividualNum
// and the three figures, five entries, their rationals after it; 98 bytes in all.

inline constexpr std::string_view kMpIdentifier{"MPF\0", 4};
inline constexpr std::string_view kLittleEndianMark{"II*\0", 4};
inline constexpr std::string_view kBigEndianMark{"MM\0*", 4};
inline constexpr std::string_view kMpVersion = "0100";

// The MP header's place in a segment (after FF E2, the length and "MPF\0"), and the size of each
// segment the writer makes.
inline constexpr std::size_t kMpHeaderInSegment = 8;
inline constexpr std::size_t kFirstMpSegmentSize = 160;
inline constexpr std::size_t kSecondMpSegmentSize = 98;

// MP Index IFD tags.
inline constexpr std::uint16_t kMpfVersion = 0xB000;
inline constexpr std::uint16_t kNumberOfImages = 0xB001;
inline constexpr std::uint16_t kMpEntry = 0xB002;
// MP Attribute IFD tags (it has MPFVersion too).
inline constexpr std::uint16_t kMpIndividualNum = 0xB101;
inline constexpr std::uint16_t kBaseViewpointNum = 0xB204;
inline constexpr std::uint16_t kConvergenceAngle = 0xB205;
inline constexpr std::uint16_t kBaselineLength = 0xB206;

// The value types of an IFD entry, as TIFF numbers them (an Exif segment's IFDs use them too).
enum class TiffType : std::uint16_t {
    shortType = 3,
    longType = 4,
    rational = 5,
    undefined = 7,
    srational = 10,
};

inline constexpr std::size_t kIfdEntrySize = 12; // tag, type, count, value or its offset
inline constexpr std::size_t kMpEntrySize = 16;  // attribute, size, offset, two dependents

// An MPEntry's attribute: flags in its top byte, the image type in its low 24 bits.
inline constexpr std::uint32_t kRepresentativeImage = 1u << 29;
inline constexpr std::uint32_t kImageTypeMask = 0xFFFFFF;
// The image type of each image of a stereo pair: "multi-frame disparity".
inline constexpr std::uint32_t kDisparityType = 0x020002;

// The value the format gives a figure that the writer does not know.
inline constexpr std::uint32_t kUnknownFigure = 0xFFFFFFFF;

} // namespace twinframe
