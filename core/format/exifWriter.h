#pragma once

#include <cstdint>
#include <vector>

namespace twinframe {

// An Exif APP1 with only what the format makes mandatory, for a picture that has none: a whole
// marker segment, FF marker and length included, little-endian inside.
std::vector<std::uint8_t> minimalExifSegment(std::uint32_t width, std::uint32_t height);

} // namespace twinframe
