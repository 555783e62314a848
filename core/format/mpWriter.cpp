#include "format/mpWriter.h"

#include <algorithm>
#include <cassert>
#include <string_view>

namespace twinframe {

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Type : std::uint16_t {
    shortType = 3,
    longType = 4,
    rational = 5,
    undefined = 7,
    srational = 10,
};

void put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void set32(Bytes& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// One IFD entry; its value is given as the bytes that are stored, already in little-endian.
struct Entry {
    std::uint16_t tag;
    Type type;
    std::uint32_t count;
    Bytes value;
};

Entry text4(std::uint16_t tag, std::string_view text) {
    return {tag, Type::undefined, 4, Bytes(text.begin(), text.end())};
}

Entry long1(std::uint16_t tag, std::uint32_t value) {
    Bytes bytes;
    put32(bytes, value);
    return {tag, Type::longType, 1, bytes};
}

Entry short1(std::uint16_t tag, std::uint16_t value) {
    Bytes bytes;
    put16(bytes, value);
    put16(bytes, 0);
    return {tag, Type::shortType, 1, bytes};
}

Entry rational1(std::uint16_t tag, Type type, std::uint32_t numerator, std::uint32_t denominator) {
    Bytes bytes;
    put32(bytes, numerator);
    put32(bytes, denominator);
    return {tag, type, 1, bytes};
}

// Appends an IFD at the end of tiff (whose offset 0 is the TIFF header) with its values of more
// than four bytes right after it, in entry order, as cameras lay them out. Returns where its
// next-IFD offset is, left 0 for the caller to fill in.
std::size_t appendIfd(Bytes& tiff, const std::vector<Entry>& entries) {
    const std::size_t start = tiff.size();
    std::size_t valueAt = start + 2 + 12 * entries.size() + 4;
    put16(tiff, static_cast<std::uint32_t>(entries.size()));
    for (const Entry& entry : entries) {
        put16(tiff, entry.tag);
        put16(tiff, static_cast<std::uint32_t>(entry.type));
        put32(tiff, entry.count);
        if (entry.value.size() <= 4) {
            Bytes inLine = entry.value;
            inLine.resize(4);
            tiff.insert(tiff.end(), inLine.begin(), inLine.end());
        } else {
            put32(tiff, static_cast<std::uint32_t>(valueAt));
            valueAt += entry.value.size();
        }
    }
    const std::size_t next = tiff.size();
    put32(tiff, 0);
    for (const Entry& entry : entries)
        if (entry.value.size() > 4)
            tiff.insert(tiff.end(), entry.value.begin(), entry.value.end());
    assert(tiff.size() == valueAt);
    return next;
}

Bytes tiffHeader() {
    return {'I', 'I', 0x2A, 0x00, 0x08, 0x00, 0x00, 0x00};
}

// Wraps the content (what follows the length field) into an APPn segment.
Bytes segment(std::uint8_t marker, std::string_view identifier, const Bytes& tiff) {
    const std::size_t length = 2 + identifier.size() + tiff.size();
    Bytes out(2 + length);
    out[0] = 0xFF;
    out[1] = marker;
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length);
    const auto content = std::copy(identifier.begin(), identifier.end(), out.begin() + 4);
    std::copy(tiff.begin(), tiff.end(), content);
    return out;
}

constexpr std::uint32_t kRepresentative = 1u << 29;

// MPIndividualNum, then what the camera measured: BaseViewpointNum, the convergence angle and
// the baseline (all ones where unknown).
std::vector<Entry> attributeEntries(std::uint32_t individualNumber,
                                    const MpAttributes& attributes) {
    return {long1(0xB101, individualNumber), long1(0xB204, attributes.baseViewpoint),
            rational1(0xB205, Type::srational, attributes.convergenceNumerator,
                      attributes.convergenceDenominator),
            rational1(0xB206, Type::rational, attributes.baselineNumerator,
                      attributes.baselineDenominator)};
}

} // namespace

Bytes firstImageMpSegment(std::uint32_t firstSize, std::uint32_t secondSize,
                          std::uint32_t secondOffset, const MpAttributes& attributes) {
    Bytes entries;
    put32(entries, kRepresentative | kDisparityType);
    put32(entries, firstSize);
    put32(entries, 0); // the first image's offset is 0: it begins the file
    put32(entries, 0); // no dependent images
    put32(entries, kDisparityType);
    put32(entries, secondSize);
    put32(entries, secondOffset);
    put32(entries, 0);

    Bytes tiff = tiffHeader();
    const std::size_t next = appendIfd(
        tiff, {text4(0xB000, "0100"),
               long1(0xB001, 2),
               {0xB002, Type::undefined, static_cast<std::uint32_t>(entries.size()), entries}});
    set32(tiff, next, static_cast<std::uint32_t>(tiff.size()));
    appendIfd(tiff, attributeEntries(1, attributes));
    Bytes out = segment(0xE2, std::string_view("MPF\0", 4), tiff);
    assert(out.size() == kFirstMpSegmentSize);
    return out;
}

Bytes secondImageMpSegment(const MpAttributes& attributes) {
    Bytes tiff = tiffHeader();
    std::vector<Entry> entries = attributeEntries(2, attributes);
    entries.insert(entries.begin(), text4(0xB000, "0100"));
    appendIfd(tiff, entries);
    Bytes out = segment(0xE2, std::string_view("MPF\0", 4), tiff);
    assert(out.size() == kSecondMpSegmentSize);
    return out;
}

Bytes minimalExifSegment(std::uint32_t width, std::uint32_t height) {
    Bytes tiff = tiffHeader();
    const std::size_t next = appendIfd(tiff, {rational1(0x011A, Type::rational, 72, 1),
                                              rational1(0x011B, Type::rational, 72, 1),
                                              short1(0x0128, 2), // resolution in inches
                                              short1(0x0213, 1), // chroma samples centred
                                              long1(0x8769, 0)});
    // The Exif IFD pointer is the IFD0 entry just before the next-IFD offset.
    set32(tiff, next - 4, static_cast<std::uint32_t>(tiff.size()));
    appendIfd(tiff, {text4(0x9000, "0230"),
                     {0x9101, Type::undefined, 4, Bytes{1, 2, 3, 0}}, // Y, Cb, Cr
                     text4(0xA000, "0100"),
                     short1(0xA001, 1), // sRGB
                     long1(0xA002, width),
                     long1(0xA003, height)});
    return segment(0xE1, std::string_view("Exif\0\0", 6), tiff);
}

} // namespace twinframe
