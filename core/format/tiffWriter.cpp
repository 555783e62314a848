#include "format/tiffWriter.h"

#include "format/jpegSegments.h"

#include <algorithm>
#include <cassert>

namespace twinframe::tiff {

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

Entry text4(std::uint16_t tag, std::string_view text) {
    return {tag, TiffType::undefined, 4, Bytes(text.begin(), text.end())};
}

Entry long1(std::uint16_t tag, std::uint32_t value) {
    Bytes bytes;
    put32(bytes, value);
    return {tag, TiffType::longType, 1, bytes};
}

Entry short1(std::uint16_t tag, std::uint16_t value) {
    Bytes bytes;
    put16(bytes, value);
    put16(bytes, 0);
    return {tag, TiffType::shortType, 1, bytes};
}

Entry rational1(std::uint16_t tag, TiffType type, std::uint32_t numerator,
                std::uint32_t denominator) {
    Bytes bytes;
    put32(bytes, numerator);
    put32(bytes, denominator);
    return {tag, type, 1, bytes};
}

std::size_t appendIfd(Bytes& tiff, const std::vector<Entry>& entries) {
    const std::size_t start = tiff.size();
    std::size_t valueAt = start + 2 + kIfdEntrySize * entries.size() + 4;
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
    Bytes header(kLittleEndianMark.begin(), kLittleEndianMark.end());
    put32(header, static_cast<std::uint32_t>(kLittleEndianMark.size() + 4));
    return header;
}

Bytes segment(std::uint8_t marker, std::string_view identifier, const Bytes& tiff) {
    const std::size_t length = 2 + identifier.size() + tiff.size();
    Bytes out(2 + length);
    out[0] = kMarkerByte;
    out[1] = marker;
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length);
    const auto content = std::copy(identifier.begin(), identifier.end(), out.begin() + 4);
    std::copy(tiff.begin(), tiff.end(), content);
    return out;
}

} // namespace twinframe::tiff
