#pragma once

#include "format/mpIndex.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace twinframe {

// The segments a stereo MPO carries that its two JPEG pictures did not: whole marker segments,
// FF marker and length included, little-endian inside as the Fujifilm W3 writes them. The layout
// of each (which IFDs, which tags, where the values sit) is the one stereo cameras write.

// The length of what firstImageMpSegment makes, and where in it the MP header (the "II*\0" that
// every offset in it, and every image offset in the index, counts from) begins.
inline constexpr std::size_t kFirstMpSegmentSize = 160;
inline constexpr std::size_t kSecondMpSegmentSize = 98;
inline constexpr std::size_t kMpHeaderInSegment = 8; // FF E2, length, "MPF\0"

// The first image's APP2 "MPF\0": MP header, MP Index IFD (version "0100", two images, their
// MPEntry: the first representative, both "multi-frame disparity"), and its MP Attribute IFD.
// secondOffset counts from the MP header. The attributes are what the camera measured, the same
// for both images as cameras write them; unknown by default.
std::vector<std::uint8_t> firstImageMpSegment(std::uint32_t firstSize, std::uint32_t secondSize,
                                              std::uint32_t secondOffset,
                                              const MpAttributes& attributes = {});

// The second image's APP2 "MPF\0": MP header and its MP Attribute IFD.
std::vector<std::uint8_t> secondImageMpSegment(const MpAttributes& attributes = {});

// An Exif APP1 with only what the format makes mandatory, for a picture that has none.
std::vector<std::uint8_t> minimalExifSegment(std::uint32_t width, std::uint32_t height);

} // namespace twinframe
