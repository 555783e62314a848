#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace twinframe::test {

// Real JPEG pictures, encoded and decoded by libjpeg, for the side-by-side tests: a picture's
// pixels are made up, encoded as a test asks, and what a transform makes is decoded back to
// pixels to be compared.

// Pixels, row by row, each of `components` samples.
struct Pixels {
    int width = 0;
    int height = 0;
    int components = 3;
    std::vector<std::uint8_t> samples;
    bool operator==(const Pixels&) const = default;
    // Pixel columns [first, first + count) of every row.
    Pixels columns(int first, int count) const;
};

// A picture whose every pixel differs from its neighbours: gradients, edges and noise, different
// for each seed, so that every block of every component holds coefficients of its own.
Pixels madeUpPixels(int width, int height, int components, std::uint32_t seed);

enum class Sampling { s444, s422, s420, grey };

enum class ByteOrder { littleEndian, bigEndian };

// An Exif APP1 holding PixelXDimension and PixelYDimension in its Exif IFD.
struct ExifRecipe {
    ByteOrder order = ByteOrder::littleEndian;
    bool longDimensions = false; // LONG rather than SHORT
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

struct JpegRecipe {
    Sampling sampling = Sampling::s420;
    bool progressive = false;
    unsigned restartInterval = 0; // in MCUs; 0 for none
    int quality = 90;
    // Instead of quality: this table (natural order) for every component.
    std::optional<std::array<unsigned, 64>> table{};
    bool oneTableSlot = false;        // every component quantized with the table in slot 0
    std::optional<ExifRecipe> exif{}; // written where a camera writes it, with no JFIF segment
};

// The pixels encoded with libjpeg (grey pixels for Sampling::grey, else RGB).
std::vector<std::uint8_t> encodeJpeg(const Pixels& pixels, const JpegRecipe& recipe);

// The JPEG with its first block's first AC coefficient set to value, arithmetic-coded, as only a
// crafted picture holds one past what a baseline JPEG codes.
std::vector<std::uint8_t> withFirstAcCoefficient(std::span<const std::uint8_t> jpeg, int value);

// A JPEG decoded with libjpeg, chroma upsampled by replication (not interpolated across block
// edges, so that a half of a side-by-side picture decodes on its own). Width 0 when libjpeg
// cannot decode it.
Pixels decodeJpeg(std::span<const std::uint8_t> jpeg);

struct ExifDimensions {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool widthIsLong = false;
    bool heightIsLong = false;
    bool operator==(const ExifDimensions&) const = default;
};

// The data of an Exif APP1 segment as encodeJpeg writes it.
std::vector<std::uint8_t> exifSegmentData(const ExifRecipe& recipe);

// PixelXDimension and PixelYDimension of a JPEG's Exif, read on their own; of an APP1 segment's
// data.
std::optional<ExifDimensions> readExifDimensions(std::span<const std::uint8_t> jpeg);
std::optional<ExifDimensions> readExifDataDimensions(std::span<const std::uint8_t> data);

// The data of each of a JPEG's segments with marker (FF marker), in order, up to its first scan.
std::vector<std::vector<std::uint8_t>> segmentsWithMarker(std::span<const std::uint8_t> jpeg,
                                                          std::uint8_t marker);

} // namespace twinframe::test
