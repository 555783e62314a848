#include "format/mpIndex.h"

#include "format/jpegSegments.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace twinframe {

namespace {

// The format's sizes as the 64-bit offsets here count, so no sum of them can wrap.
constexpr auto kEntrySize = static_cast<std::int64_t>(kMpEntrySize);
constexpr auto kEntryInIfd = static_cast<std::int64_t>(kIfdEntrySize);

// The MP header's bytes as the byte order mark says to read them. Every read is bounds-checked:
// an offset outside the bytes gives nothing.
class TiffReader {
  public:
    TiffReader(std::span<const std::uint8_t> bytes, std::int64_t base, bool littleEndian,
               bool& ranPastBytes)
        : bytes_(bytes), base_(base), littleEndian_(littleEndian), ranPastBytes_(ranPastBytes) {}

    // Reads size bytes (2 or 4) at offset, counted from base.
    std::optional<std::uint32_t> read(std::int64_t offset, int size) const {
        const std::int64_t at = base_ + offset;
        if (offset < 0 || at < 0)
            return std::nullopt;
        if (at + size > static_cast<std::int64_t>(bytes_.size())) {
            ranPastBytes_ = true;
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (int i = 0; i < size; ++i) {
            const int shift = littleEndian_ ? 8 * i : 8 * (size - 1 - i);
            value |= std::uint32_t{bytes_[static_cast<std::size_t>(at + i)]} << shift;
        }
        return value;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::int64_t base_;
    bool littleEndian_;
    bool& ranPastBytes_;
};

// The offset of the byte right after "MPF\0" in the first APP2 segment that begins with it.
// ranPastHead is set when there is none before the bytes end.
std::optional<std::int64_t> findMpHeader(std::span<const std::uint8_t> head, bool& ranPastHead) {
    std::optional<std::int64_t> base;
    const SegmentWalk walk = walkSegments(head, [&](const JpegSegment& segment) {
        if (segment.marker != kApp2Marker || segment.dataLength < kMpIdentifier.size() ||
            std::memcmp(head.data() + segment.dataOffset, kMpIdentifier.data(),
                        kMpIdentifier.size()) != 0)
            return true;
        base = static_cast<std::int64_t>(segment.dataOffset + kMpIdentifier.size());
        return false;
    });
    if (!base && walk.end == SegmentWalkEnd::pastEnd)
        ranPastHead = true;
    return base;
}

struct IndexEntry {
    std::uint32_t value = 0; // the value field: the value itself, or its offset from base
    std::uint32_t count = 0;
    std::uint32_t type = 0;
};

// The entry for tag in the IFD at offset (from base), if the IFD holds one.
std::optional<IndexEntry> findTag(const TiffReader& reader, std::int64_t ifd, std::uint16_t tag) {
    const auto entries = reader.read(ifd, 2);
    if (!entries)
        return std::nullopt;
    for (std::int64_t i = 0; i < *entries; ++i) {
        const std::int64_t entry = ifd + 2 + i * kEntryInIfd;
        const auto entryTag = reader.read(entry, 2);
        const auto type = reader.read(entry + 2, 2);
        const auto count = reader.read(entry + 4, 4);
        const auto value = reader.read(entry + 8, 4);
        if (!entryTag || !type || !count || !value)
            return std::nullopt;
        if (*entryTag == tag)
            return IndexEntry{*value, *count, *type};
    }
    return std::nullopt;
}

// The first image whose span runs past the end of the file (numbered from 1), or 0 for none.
std::size_t firstImagePastEnd(const MpIndex& index, std::int64_t fileLength) {
    for (std::size_t k = 0; k < index.starts.size(); ++k)
        if (index.starts[k] + index.sizes[k] > fileLength)
            return k + 1;
    return 0;
}

// Whether the images follow one another in order, each beginning with a start-of-image marker.
bool imagesInOrder(const MpIndex& index, const std::function<bool(std::int64_t)>& startsImage) {
    for (std::size_t k = 1; k < index.starts.size(); ++k) {
        const std::int64_t start = index.starts[k];
        const std::int64_t previousEnd = index.starts[k - 1] + index.sizes[k - 1];
        if (start <= index.starts[k - 1] || start < previousEnd || !startsImage(start))
            return false;
    }
    return true;
}

// readMpIndex, but for headTooShort: ranPastHead is set when a read needed bytes beyond head.
// Every answer but none rests only on reads that succeeded, which more bytes cannot change.
MpIndex readIndexFrom(std::span<const std::uint8_t> head, std::int64_t fileLength,
                      const std::function<bool(std::int64_t)>& startsImage, bool& ranPastHead) {
    MpIndex index;
    const auto base = findMpHeader(head, ranPastHead);
    if (!base)
        return index;

    if (*base + 4 > static_cast<std::int64_t>(head.size())) {
        ranPastHead = true;
        return index;
    }
    const bool littleEndian = std::memcmp(head.data() + *base, kLittleEndianMark.data(), 4) == 0;
    const bool bigEndian = std::memcmp(head.data() + *base, kBigEndianMark.data(), 4) == 0;
    if (!littleEndian && !bigEndian)
        return index;
    const TiffReader reader(head, *base, littleEndian, ranPastHead);

    const auto ifd = reader.read(4, 4);
    if (!ifd)
        return index;
    const auto number = findTag(reader, *ifd, kNumberOfImages);
    const auto entries = findTag(reader, *ifd, kMpEntry);
    if (!number || !entries || number->value < 2)
        return index;
    const std::int64_t count = number->value;
    if (entries->count < count * kEntrySize ||
        *base + entries->value + count * kEntrySize > fileLength)
        return index;

    for (std::int64_t k = 0; k < count; ++k) {
        const std::int64_t entry = std::int64_t{entries->value} + k * kEntrySize;
        const auto attribute = reader.read(entry, 4);
        const auto size = reader.read(entry + 4, 4);
        const auto offset = reader.read(entry + 8, 4);
        // The table lies inside the file but beyond the bytes at hand: no camera writes that.
        if (!attribute || !size || !offset)
            return {};
        index.types.push_back(*attribute & kImageTypeMask);
        // A later image at offset 0 would begin inside the MP header; it is caught below as an
        // image that does not follow the one before it.
        index.starts.push_back(k == 0 || *offset == 0 ? 0 : *base + *offset);
        index.sizes.push_back(*size);
    }

    // A cut-short file is told apart before anything else, since its images cannot be checked.
    if (const std::size_t pastEnd = firstImagePastEnd(index, fileLength)) {
        index.state = MpIndexState::incomplete;
        index.firstPastEnd = pastEnd;
        return index;
    }
    if (!imagesInOrder(index, startsImage))
        return {};
    index.state = MpIndexState::usable;
    return index;
}

// The tag's entry in the first of the IFDs that holds it with the given type and one value.
std::optional<IndexEntry> findFigure(const TiffReader& reader, std::span<const std::int64_t> ifds,
                                     std::uint16_t tag, TiffType type) {
    for (const std::int64_t ifd : ifds)
        if (const auto entry = findTag(reader, ifd, tag))
            return entry->type == static_cast<std::uint32_t>(type) && entry->count == 1
                       ? entry
                       : std::nullopt;
    return std::nullopt;
}

// A rational's numerator and denominator, stored at the offset the entry gives.
void readRational(const TiffReader& reader, const std::optional<IndexEntry>& entry,
                  std::uint32_t& numerator, std::uint32_t& denominator) {
    if (!entry)
        return;
    const auto top = reader.read(entry->value, 4);
    const auto bottom = reader.read(std::int64_t{entry->value} + 4, 4);
    if (top && bottom) {
        numerator = *top;
        denominator = *bottom;
    }
}

} // namespace

bool indexesStereoPair(const MpIndex& index) {
    return index.state == MpIndexState::usable && index.types.size() == 2 &&
           index.types[0] == kDisparityType && index.types[1] == kDisparityType;
}

std::optional<MpAttributes> readMpAttributes(std::span<const std::uint8_t> data) {
    constexpr auto base = static_cast<std::int64_t>(kMpIdentifier.size());
    if (data.size() < base + 8 ||
        std::memcmp(data.data(), kMpIdentifier.data(), kMpIdentifier.size()) != 0)
        return std::nullopt;
    const bool littleEndian = std::memcmp(data.data() + base, kLittleEndianMark.data(), 4) == 0;
    if (!littleEndian && std::memcmp(data.data() + base, kBigEndianMark.data(), 4) != 0)
        return std::nullopt;
    bool ranPastData = false;
    const TiffReader reader(data, base, littleEndian, ranPastData);
    const auto first = reader.read(4, 4);
    if (!first)
        return std::nullopt;
    // The first image's segment holds the index first and its attributes in the next IFD; a
    // later image's holds the attributes alone.
    std::vector<std::int64_t> ifds{*first};
    if (const auto entries = reader.read(*first, 2)) {
        const auto next = reader.read(std::int64_t{*first} + 2 + *entries * kEntryInIfd, 4);
        if (next && *next != 0)
            ifds.push_back(*next);
    }

    MpAttributes attributes;
    if (const auto viewpoint = findFigure(reader, ifds, kBaseViewpointNum, TiffType::longType))
        attributes.baseViewpoint = viewpoint->value;
    readRational(reader, findFigure(reader, ifds, kConvergenceAngle, TiffType::srational),
                 attributes.convergenceNumerator, attributes.convergenceDenominator);
    readRational(reader, findFigure(reader, ifds, kBaselineLength, TiffType::rational),
                 attributes.baselineNumerator, attributes.baselineDenominator);
    return attributes;
}

MpIndex readMpIndex(std::span<const std::uint8_t> head, std::int64_t fileLength,
                    const std::function<bool(std::int64_t)>& startsImage) {
    bool ranPastHead = false;
    MpIndex index = readIndexFrom(head, fileLength, startsImage, ranPastHead);
    index.headTooShort = index.state == MpIndexState::none && ranPastHead;
    return index;
}

MpIndex readMpIndex(std::span<const std::uint8_t> file) {
    return readMpIndex(file.first(std::min(file.size(), kIndexReach)),
                       static_cast<std::int64_t>(file.size()), [file](std::int64_t offset) {
                           const auto at = static_cast<std::size_t>(offset);
                           return at + 2 <= file.size() && file[at] == kMarkerByte &&
                                  file[at + 1] == kStartOfImageMarker;
                       });
}

} // namespace twinframe
