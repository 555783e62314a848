#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace twinframe {

// One marker segment in the header of a JPEG image.
struct JpegSegment {
    std::uint8_t marker = 0;    // the byte after FF: E1 for APP1 (Exif), E2 for APP2, ...
    std::size_t offset = 0;     // of the FF that begins the marker (after any fill bytes)
    std::size_t dataOffset = 0; // of the first byte after the length field
    std::size_t dataLength = 0; // the length field less its own two bytes; 0 for bare markers
};

enum class SegmentWalkEnd {
    startOfScan, // at an SOS marker: the compressed picture data follows
    endOfImage,  // at an EOI marker before any scan
    notAMarker,  // a byte other than FF where a marker should be
    pastEnd,     // the bytes end, or a length field is below 2 or runs past them
    stopped,     // the visitor asked to stop
};

struct SegmentWalk {
    SegmentWalkEnd end = SegmentWalkEnd::pastEnd;
    std::size_t offset = 0; // where it ended: the SOS or EOI marker's FF, or the offending byte
};

// Walks the marker segments of the JPEG image that begins (with its FF D8) at bytes[0], from
// offset 2 up to its first SOS or EOI, calling visit for each segment in order; visit returns
// false to stop. FF fill bytes before a marker are skipped; RST0-7 (D0-D7) and TEM (01) carry
// no length. Lengths are never trusted: nothing outside bytes is read, and the walk always ends.
SegmentWalk walkSegments(std::span<const std::uint8_t> bytes,
                         const std::function<bool(const JpegSegment&)>& visit);

} // namespace twinframe
