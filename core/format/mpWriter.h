#pragma once

#include "format/mpFormat.h"
#include "format/mpIndex.h"

#include <cstdint>
#include <vector>

namespace twinframe {

// The segments a stereo MPO carries that its two JPEG pictures did not: whole marker segments,
// FF marker and length included, little-endian inside as the Fujifilm W3 writes them. The layout
// of each (which IFDs, which tags, where the values sit) is the one stereo cameras write, drawn
// in mpFormat.h with the sizes (kFirstMpSegmentSize, kSecondMpSegmentSize, kMpHeaderInSegment).

// The first image's APP2 "MPF\0": MP header, MP Index IFD (version "0100", two images, their
// MPEntry: the first representative, both "multi-frame disparity"), and its MP Attribute IFD.
// secondOffset counts from the MP header. The attributes are what the camera measured, the same
// for both images as cameras write them; unknown by default.
std::vector<std::uint8_t> firstImageMpSegment(std::uint32_t firstSize, std::uint32_t secondSize,
                                              std::uint32_t secondOffset,
                                              const MpAttributes& attributes = {});

// The second image's APP2 "MPF\0": MP header and its MP Attribute IFD.
std::vector<std::uint8_t> secondImageMpSegment(const MpAttributes& attributes = {});

} // namespace twinframe
