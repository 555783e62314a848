#include "format/jpegSegments.h"

namespace twinframe {

SegmentWalk walkSegments(std::span<const std::uint8_t> bytes,
                         const std::function<bool(const JpegSegment&)>& visit) {
    BytesAtHand atHand(bytes);
    std::uint64_t pos = 2;
    while (true) {
        std::uint8_t marker = 0;
        switch (findMarker(atHand, pos, marker)) {
        case MarkerSearch::marker:
            break;
        case MarkerSearch::notAMarker:
            return {SegmentWalkEnd::notAMarker, static_cast<std::size_t>(pos)};
        case MarkerSearch::pastEnd:
            return {SegmentWalkEnd::pastEnd, bytes.size()};
        }
        const auto at = static_cast<std::size_t>(pos);
        if (marker == kStartOfScanMarker)
            return {SegmentWalkEnd::startOfScan, at};
        if (marker == kEndOfImageMarker)
            return {SegmentWalkEnd::endOfImage, at};
        const std::optional<SegmentAt> segment = segmentAt(atHand, pos, marker);
        if (!segment)
            return {SegmentWalkEnd::pastEnd, at};
        // Inside bytes, so each offset fits in their size's type.
        const JpegSegment visited{marker, at, static_cast<std::size_t>(segment->dataOffset),
                                  segment->dataLength};
        if (!visit(visited))
            return {SegmentWalkEnd::stopped, at};
        pos = segment->end();
    }
}

} // namespace twinframe
