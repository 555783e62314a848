#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace twinframe {

// The data of an Exif APP1 segment (what follows its length field: "Exif\0\0", then the TIFF
// structure) with the PixelXDimension and PixelYDimension of its Exif IFD set to width and
// height, for a picture whose size is not the one the camera wrote down. Either byte order. A
// SHORT whose new value does not fit in 16 bits becomes a LONG in place: a count of 1 keeps it in
// the entry's value field. Tags that are missing, or not of one SHORT or LONG, stay as they are,
// and so does everything else; nothing outside the data is read.
std::vector<std::uint8_t> exifWithDimensions(std::span<const std::uint8_t> app1Data,
                                             std::uint32_t width, std::uint32_t height);

} // namespace twinframe
