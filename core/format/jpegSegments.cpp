#include "format/jpegSegments.h"

namespace twinframe {

namespace {

bool hasNoLength(std::uint8_t marker) {
    return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

} // namespace

SegmentWalk walkSegments(std::span<const std::uint8_t> bytes,
                         const std::function<bool(const JpegSegment&)>& visit) {
    std::size_t pos = 2;
    while (pos < bytes.size()) {
        if (bytes[pos] != 0xFF)
            return {SegmentWalkEnd::notAMarker, pos};
        // Any number of FF bytes may pad the space before a marker; the marker is the last FF.
        while (pos + 1 < bytes.size() && bytes[pos + 1] == 0xFF)
            ++pos;
        if (pos + 1 >= bytes.size())
            break;
        JpegSegment segment;
        segment.offset = pos;
        segment.marker = bytes[pos + 1];
        if (segment.marker == 0xDA)
            return {SegmentWalkEnd::startOfScan, pos};
        if (segment.marker == 0xD9)
            return {SegmentWalkEnd::endOfImage, pos};
        if (hasNoLength(segment.marker)) {
            segment.dataOffset = pos + 2;
        } else {
            if (pos + 3 >= bytes.size())
                return {SegmentWalkEnd::pastEnd, pos};
            const std::size_t length = std::size_t{bytes[pos + 2]} << 8 | bytes[pos + 3];
            if (length < 2 || length > bytes.size() - pos - 2)
                return {SegmentWalkEnd::pastEnd, pos};
            segment.dataOffset = pos + 4;
            segment.dataLength = length - 2;
        }
        if (!visit(segment))
            return {SegmentWalkEnd::stopped, pos};
        pos = segment.dataOffset + segment.dataLength;
    }
    return {SegmentWalkEnd::pastEnd, bytes.size()};
}

} // namespace twinframe
