#pragma once

#include "format/mpFormat.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace twinframe::tiff {

// The TIFF structure the segments we write are made of: the MP segments (mpWriter.cpp) and the
// Exif segment (exifWriter.cpp). Little-endian throughout, as the Fujifilm W3 writes them.

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, std::uint32_t value);
void put32(Bytes& out, std::uint32_t value);
void set32(Bytes& out, std::size_t at, std::uint32_t value);

// One IFD entry; its value is given as the bytes that are stored, already in little-endian.
struct Entry {
    std::uint16_t tag;
    TiffType type;
    std::uint32_t count;
    Bytes value;
};

Entry text4(std::uint16_t tag, std::string_view text);
Entry long1(std::uint16_t tag, std::uint32_t value);
Entry short1(std::uint16_t tag, std::uint16_t value);
Entry rational1(std::uint16_t tag, TiffType type, std::uint32_t numerator,
                std::uint32_t denominator);

// Appends an IFD at the end of tiff (whose offset 0 is the TIFF header) with its values of more
// than four bytes right after it, in entry order, as cameras lay them out. Returns where its
// next-IFD offset is, left 0 for the caller to fill in.
std::size_t appendIfd(Bytes& tiff, const std::vector<Entry>& entries);

// A little-endian TIFF header whose first IFD follows it.
Bytes tiffHeader();

// Wraps the content (what follows the length field) into an APPn segment.
Bytes segment(std::uint8_t marker, std::string_view identifier, const Bytes& tiff);

} // namespace twinframe::tiff
