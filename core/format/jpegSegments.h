#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <span>
#include <string_view>

namespace twinframe {

// A marker is FF and a byte that names it; the names the walk and those who use it need.
inline constexpr std::uint8_t kMarkerByte = 0xFF;
inline constexpr std::uint8_t kStartOfImageMarker = 0xD8;
inline constexpr std::uint8_t kEndOfImageMarker = 0xD9;
inline constexpr std::uint8_t kStartOfScanMarker = 0xDA;
inline constexpr std::uint8_t kApp1Marker = 0xE1; // Exif
inline constexpr std::uint8_t kApp2Marker = 0xE2; // Multi-Picture
// What an Exif APP1's data begins with.
inline constexpr std::string_view kExifIdentifier{"Exif\0\0", 6};

// RST0-7: they sit among the compressed data.
inline bool isRestartMarker(std::uint8_t marker) {
    return marker >= 0xD0 && marker <= 0xD7;
}

// The markers with no length field after them: the restarts and TEM.
inline bool hasNoLength(std::uint8_t marker) {
    return isRestartMarker(marker) || marker == 0x01;
}

// The markers that begin a frame and give its size; C4, C8 and CC are tables and a reserved code.
inline bool isStartOfFrame(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

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

// The walk itself, step by step, over bytes that need not all be in memory: walkSegments walks
// bytes at hand with it, the join walks its inputs with it a block at a time.

// Bytes for a walk: size() of them in all; at(offset, wanted) gives those from offset on, at
// least min(wanted, size() - offset) of them, or fewer when they cannot be had (the walk then
// ends as though the bytes did).
template <class Source>
concept WalkBytes = requires(Source& source, std::uint64_t offset, std::size_t wanted) {
    { source.size() } -> std::convertible_to<std::uint64_t>;
    { source.at(offset, wanted) } -> std::convertible_to<std::span<const std::uint8_t>>;
};

// Bytes in memory, all of them at hand.
class BytesAtHand {
  public:
    explicit BytesAtHand(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t size() const { return bytes_.size(); }
    std::span<const std::uint8_t> at(std::uint64_t offset, std::size_t /*wanted*/) const {
        return offset >= bytes_.size() ? std::span<const std::uint8_t>()
                                       : bytes_.subspan(static_cast<std::size_t>(offset));
    }

  private:
    std::span<const std::uint8_t> bytes_;
};

enum class MarkerSearch { marker, notAMarker, pastEnd };

// The marker whose FF is at pos, after any FF fill bytes: pos is moved to its last FF, and
// marker is the byte after it.
template <WalkBytes Source>
MarkerSearch findMarker(Source& bytes, std::uint64_t& pos, std::uint8_t& marker) {
    while (true) {
        const std::span<const std::uint8_t> here = bytes.at(pos, 2);
        if (here.empty())
            return MarkerSearch::pastEnd;
        if (here[0] != kMarkerByte)
            return MarkerSearch::notAMarker;
        // Any number of FF bytes may pad the space before a marker; the marker is the last FF.
        std::size_t fill = 0;
        while (fill + 1 < here.size() && here[fill + 1] == kMarkerByte)
            ++fill;
        pos += fill;
        if (fill + 1 < here.size()) {
            marker = here[fill + 1];
            return MarkerSearch::marker;
        }
        if (here.size() < 2)
            return MarkerSearch::pastEnd;
    }
}

// One marker segment, placed in bytes of any length.
struct SegmentAt {
    std::uint8_t marker = 0;
    std::uint64_t offset = 0;     // its FF (after any fill bytes)
    std::uint64_t dataOffset = 0; // after the length field
    std::size_t dataLength = 0;   // at most 65533
    std::uint64_t end() const { return dataOffset + dataLength; }
};

// The segment whose marker (found by findMarker) is at pos, its length checked against the
// bytes; none when it runs past their end.
template <WalkBytes Source>
std::optional<SegmentAt> segmentAt(Source& bytes, std::uint64_t pos, std::uint8_t marker) {
    SegmentAt segment{marker, pos, pos + 2, 0};
    if (hasNoLength(marker))
        return segment;
    const std::span<const std::uint8_t> field = bytes.at(pos + 2, 2);
    if (field.size() < 2)
        return std::nullopt;
    const std::uint64_t length = std::uint64_t{field[0]} << 8 | field[1];
    if (length < 2 || length > bytes.size() - pos - 2)
        return std::nullopt;
    segment.dataOffset = pos + 4;
    segment.dataLength = static_cast<std::size_t>(length - 2);
    return segment;
}

// From pos, just past a scan's marker segment, over compressed data to the next marker other
// than a restart: pos is left at its FF. An FF in the data is followed by 00 (a stuffed byte), a
// restart marker or more FF fill; anything else is the next marker. False when the bytes end.
template <WalkBytes Source> bool skipCompressedData(Source& bytes, std::uint64_t& pos) {
    while (true) {
        const std::span<const std::uint8_t> block = bytes.at(pos, 1);
        if (block.empty())
            return false;
        const void* found = std::memchr(block.data(), kMarkerByte, block.size());
        if (found == nullptr) {
            pos += block.size();
            continue;
        }
        pos += static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(found) - block.data());
        std::uint8_t next = 0;
        if (findMarker(bytes, pos, next) != MarkerSearch::marker)
            return false;
        if (next != 0x00 && !isRestartMarker(next))
            return true;
        pos += 2;
    }
}

enum class ImageEnd { endMarker, startMarker, cutShort };

// From the first SOS at pos, through compressed data and whatever scans and tables follow, to
// one past the EOI; or to an SOI where a picture starts without the last one having ended; or
// to where the bytes end.
template <WalkBytes Source> ImageEnd findImageEnd(Source& bytes, std::uint64_t& pos) {
    while (true) {
        std::uint8_t marker = 0;
        if (findMarker(bytes, pos, marker) != MarkerSearch::marker)
            return ImageEnd::cutShort;
        if (marker == kEndOfImageMarker) {
            pos += 2;
            return ImageEnd::endMarker;
        }
        if (marker == kStartOfImageMarker)
            return ImageEnd::startMarker;
        const auto segment = segmentAt(bytes, pos, marker);
        if (!segment)
            return ImageEnd::cutShort;
        pos = segment->end();
        if (!skipCompressedData(bytes, pos))
            return ImageEnd::cutShort;
    }
}

} // namespace twinframe
