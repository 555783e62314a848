#pragma once

#include "MpoBuilder.h"

#include <cstdint>

namespace twinframe::test {

// What a synthetic JPEG picture holds. Its segments are those of real cameras and editors; its
// compressed data is random (with stuffed FF bytes and restart markers, as real data has), so
// it is walkable to its end but not decodable.
struct JpegRecipe {
    std::uint16_t width = 64;
    std::uint16_t height = 48;
    bool jfif = false;            // an APP0 JFIF segment right after SOI
    bool exif = true;             // an Exif APP1, with a thumbnail inside (its own SOI and EOI)
    bool cameraMpSegment = false; // an APP2 "MPF" segment, as halves split from a camera MPO carry
    // Instead, the first image's MP segment of a stereo camera (big-endian, index then
    // attributes) with what the Fujifilm W3 measures: kMeasuredBaseline and convergence 0.
    bool measuredMpSegment = false;
    std::size_t exifSegments = 1; // more than one: the Exif goes on in further APP1 segments
    bool progressive = false;     // several scans with tables between them
    std::size_t dataSize = 3000;  // compressed bytes per scan
    std::size_t padding = 0;      // zero bytes after EOI
    std::uint32_t seed = 1;
};

// The W3's baseline, 75 mm: numerator and denominator as the camera stores them.
inline constexpr std::uint32_t kMeasuredBaseline[2] = {75, 1000};

struct BuiltJpeg {
    Bytes bytes;
    std::size_t scanStart = 0; // the first SOS's FF: compressed data runs from here to imageEnd
    std::size_t imageEnd = 0;  // one past EOI
    Bytes compressed() const { return slice(bytes, scanStart, imageEnd - 1); }
};

BuiltJpeg buildJpeg(const JpegRecipe& recipe);

// Two different pictures named left and right in dir, a pair to join.
inline void writePair(const TempDir& dir, const std::string& left, const std::string& right) {
    writeBytes(dir / left, buildJpeg({.seed = 1}).bytes);
    writeBytes(dir / right, buildJpeg({.seed = 2}).bytes);
}

// The segments of an image's header (from SOI to the first SOS) as whole segments, in order.
std::vector<Bytes> headerSegments(const Bytes& image);

// Bytes from the first SOS of an image to its last EOI.
Bytes compressedDataOf(const Bytes& image);

} // namespace twinframe::test
