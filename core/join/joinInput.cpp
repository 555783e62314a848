#include "join/joinInput.h"

#include "format/jpegSegments.h"
#include "format/mpFormat.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace twinframe {

namespace {

// What the walk of the header found, up to the first start of scan.
struct Header {
    bool reachedScan = false;
    std::uint64_t scanStart = 0;
    std::vector<ByteRange> rewritten; // the Exif run and the MP segments, in order
};

// Whether the segment's data begins with identifier.
bool dataBeginsWith(JoinInputBytes& bytes, const SegmentAt& segment, std::string_view identifier) {
    if (segment.dataLength < identifier.size())
        return false;
    const auto data = bytes.at(segment.dataOffset, identifier.size());
    return data.size() >= identifier.size() &&
           std::memcmp(data.data(), identifier.data(), identifier.size()) == 0;
}

bool readsAsExif(JoinInputBytes& bytes, const SegmentAt& segment) {
    return segment.marker == kApp1Marker && dataBeginsWith(bytes, segment, kExifIdentifier);
}

bool readsAsMp(JoinInputBytes& bytes, const SegmentAt& segment) {
    return segment.marker == kApp2Marker && dataBeginsWith(bytes, segment, kMpIdentifier);
}

// Walks the header from offset 2 to the first SOS, taking the frame's size, the Exif run (the
// first Exif APP1 and those right after it, which tools that write a long Exif split it into:
// they must stay together) and the MP segments.
Header walkHeader(JoinInputBytes& bytes, JoinInput& input) {
    Header header;
    bool frameSeen = false;
    bool inExifRun = false;
    std::uint64_t pos = 2;
    while (true) {
        std::uint8_t marker = 0;
        if (findMarker(bytes, pos, marker) != MarkerSearch::marker || marker == kEndOfImageMarker)
            return header;
        if (marker == kStartOfScanMarker) {
            header.reachedScan = frameSeen;
            header.scanStart = pos;
            return header;
        }
        const auto segment = segmentAt(bytes, pos, marker);
        if (!segment)
            return header;
        const ByteRange range{segment->offset, segment->end()};
        const bool exif = readsAsExif(bytes, *segment);
        if (exif && (inExifRun || !input.exif)) {
            if (inExifRun) {
                input.exif->end = range.end;
                header.rewritten.back().end = range.end;
            } else {
                input.exif = range;
                header.rewritten.push_back(range);
            }
            inExifRun = true;
        } else {
            inExifRun = false;
            if (readsAsMp(bytes, *segment)) {
                header.rewritten.push_back(range);
                if (!input.mpAttributes) {
                    const auto data = bytes.at(segment->dataOffset, segment->dataLength);
                    if (data.size() >= segment->dataLength)
                        input.mpAttributes = readMpAttributes(data.first(segment->dataLength));
                }
            } else if (isStartOfFrame(marker) && !frameSeen && segment->dataLength >= 5) {
                const auto frame = bytes.at(segment->dataOffset, 5);
                if (frame.size() < 5)
                    return header;
                input.height = std::uint32_t{frame[1]} << 8 | frame[2];
                input.width = std::uint32_t{frame[3]} << 8 | frame[4];
                frameSeen = true;
            }
        }
        pos = segment->end();
    }
}

// Whether FF D8 FF (the start of a further picture) lies anywhere from pos to the end.
bool holdsImageStart(JoinInputBytes& bytes, std::uint64_t pos) {
    static constexpr std::uint8_t signature[] = {kMarkerByte, kStartOfImageMarker, kMarkerByte};
    while (true) {
        const auto block = bytes.at(pos, sizeof signature);
        if (block.size() < sizeof signature)
            return false;
        if (std::search(block.begin(), block.end(), std::begin(signature), std::end(signature)) !=
            block.end())
            return true;
        // The next block starts two bytes back, so a signature across the boundary is seen.
        pos += block.size() - (sizeof signature - 1);
    }
}

std::vector<ByteRange> keptRanges(const std::vector<ByteRange>& rewritten, std::uint64_t imageEnd) {
    std::vector<ByteRange> kept;
    std::uint64_t from = 2;
    for (const ByteRange& range : rewritten) {
        if (range.first > from)
            kept.push_back({from, range.first});
        from = range.end;
    }
    kept.push_back({from, imageEnd});
    return kept;
}

} // namespace

JoinInput readJoinInput(JoinInputBytes& bytes) {
    JoinInput input;
    input.size = bytes.size();
    const auto start = bytes.at(0, 4);
    if (start.size() < 4 || start[0] != kMarkerByte || start[1] != kStartOfImageMarker)
        return input;

    const Header header = walkHeader(bytes, input);
    if (!header.reachedScan || bytes.error())
        return input;
    std::uint64_t end = header.scanStart;
    const ImageEnd ended = findImageEnd(bytes, end);
    const bool further = holdsImageStart(bytes, end);
    if (bytes.error())
        return input;
    input.imageEnd = end;
    input.kept = keptRanges(header.rewritten, end);
    if (further)
        input.kind = JoinInputKind::secondImage;
    else if (ended != ImageEnd::endMarker)
        input.kind = JoinInputKind::cutShort;
    else
        input.kind = JoinInputKind::picture;
    return input;
}

JoinInput readJoinInput(std::span<const std::uint8_t> bytes) {
    JoinInputBytes inMemory(bytes);
    return readJoinInput(inMemory);
}

} // namespace twinframe
