#include "JpegBuilder.h"

#include "format/jpegSegments.h"

#include <string_view>

namespace twinframe::test {

namespace {

// Byte by byte: GCC 12 warns falsely (-Wstringop-overflow) about inserting a list into an empty
// vector once inlined.
void append(Bytes& out, std::initializer_list<std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes)
        out.push_back(byte);
}

void appendSegment(Bytes& out, std::uint8_t marker, std::string_view identifier,
                   const Bytes& content) {
    const std::size_t length = 2 + identifier.size() + content.size();
    append(out, {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                 static_cast<std::uint8_t>(length)});
    out.insert(out.end(), identifier.begin(), identifier.end());
    out.insert(out.end(), content.begin(), content.end());
}

Bytes filler(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    std::uint32_t state = seed * 2654435761u + 7u;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

// Entropy-coded data: every FF stuffed with 00, and a restart marker every 500 bytes.
Bytes compressedScan(std::size_t size, std::uint32_t seed) {
    Bytes out;
    const Bytes random = filler(size, seed);
    for (std::size_t i = 0; i < random.size(); ++i) {
        out.push_back(random[i]);
        if (random[i] == 0xFF)
            out.push_back(0x00);
        if (i % 500 == 499)
            append(out, {0xFF, static_cast<std::uint8_t>(0xD0 + (i / 500) % 8)});
    }
    return out;
}

void appendScan(Bytes& out, const JpegRecipe& recipe, std::uint32_t seed) {
    appendSegment(out, 0xC4, "", filler(30, seed));                         // DHT
    appendSegment(out, 0xDA, "", {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0}); // SOS
    const Bytes data = compressedScan(recipe.dataSize, seed);
    out.insert(out.end(), data.begin(), data.end());
}

void appendBigEndian(Bytes& out, std::uint32_t value, int size) {
    for (int i = size - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void appendIfdEntry(Bytes& out, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                    std::uint32_t value) {
    appendBigEndian(out, tag, 2);
    appendBigEndian(out, type, 2);
    appendBigEndian(out, count, 4);
    appendBigEndian(out, value, 4);
}

// A camera's first-image MP segment after "MPF\0": an MP Index IFD (version, two images, their
// entries) chained to an MP Attribute IFD whose rationals follow it.
Bytes measuredMpSegment() {
    Bytes tiff = {'M', 'M', 0, 0x2A, 0, 0, 0, 8};
    constexpr std::uint32_t indexIfd = 8;
    constexpr std::uint32_t entries = indexIfd + 2 + 3 * 12 + 4;
    constexpr std::uint32_t attributeIfd = entries + 32;
    constexpr std::uint32_t rationals = attributeIfd + 2 + 5 * 12 + 4;
    appendBigEndian(tiff, 3, 2);
    appendIfdEntry(tiff, 0xB000, 7, 4, 0x30313030);
    appendIfdEntry(tiff, 0xB001, 4, 1, 2);
    appendIfdEntry(tiff, 0xB002, 7, 32, entries);
    appendBigEndian(tiff, attributeIfd, 4);
    for (const std::uint32_t value : {0x20020002u, 5000u, 0u, 0u, 0x00020002u, 5000u, 5000u, 0u})
        appendBigEndian(tiff, value, 4);
    appendBigEndian(tiff, 5, 2);
    appendIfdEntry(tiff, 0xB000, 7, 4, 0x30313030);
    appendIfdEntry(tiff, 0xB101, 4, 1, 1);
    appendIfdEntry(tiff, 0xB204, 4, 1, 1);
    appendIfdEntry(tiff, 0xB205, 10, 1, rationals);
    appendIfdEntry(tiff, 0xB206, 5, 1, rationals + 8);
    appendBigEndian(tiff, 0, 4);
    for (const std::uint32_t value : {0u, 1u, kMeasuredBaseline[0], kMeasuredBaseline[1]})
        appendBigEndian(tiff, value, 4);
    return tiff;
}

} // namespace

BuiltJpeg buildJpeg(const JpegRecipe& recipe) {
    BuiltJpeg built;
    Bytes& out = built.bytes;
    append(out, {0xFF, 0xD8});
    if (recipe.jfif)
        appendSegment(out, 0xE0, std::string_view("JFIF\0", 5), {1, 1, 0, 0, 1, 0, 1, 0, 0});
    if (recipe.exif) {
        Bytes tiff = {'I', 'I', 0x2A, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
        append(tiff, {0xFF, 0xD8, 0xFF, 0xDB, 0, 4, 1, 2, 0xFF, 0xD9}); // the thumbnail
        appendSegment(out, 0xE1, std::string_view("Exif\0\0", 6), tiff);
        for (std::size_t more = 1; more < recipe.exifSegments; ++more)
            appendSegment(out, 0xE1, std::string_view("Exif\0\0", 6),
                          filler(50, recipe.seed + static_cast<std::uint32_t>(more)));
    }
    // XMP is an APP1 too, but not the Exif one.
    appendSegment(out, 0xE1, std::string_view("http://ns.adobe.com/xap/1.0/\0", 29),
                  filler(40, recipe.seed));
    if (recipe.cameraMpSegment)
        appendSegment(out, 0xE2, std::string_view("MPF\0", 4),
                      {'I', 'I', 0x2A, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    if (recipe.measuredMpSegment)
        appendSegment(out, 0xE2, std::string_view("MPF\0", 4), measuredMpSegment());
    appendSegment(out, 0xE2, std::string_view("ICC_PROFILE\0", 12), filler(60, recipe.seed + 1));
    appendSegment(out, 0xDB, "", filler(65, recipe.seed + 2)); // DQT
    appendSegment(out, recipe.progressive ? 0xC2 : 0xC0, "",
                  {8, static_cast<std::uint8_t>(recipe.height >> 8),
                   static_cast<std::uint8_t>(recipe.height),
                   static_cast<std::uint8_t>(recipe.width >> 8),
                   static_cast<std::uint8_t>(recipe.width), 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
    built.scanStart = out.size() + 34; // after the DHT that comes first
    appendScan(out, recipe, recipe.seed + 3);
    if (recipe.progressive) {
        appendScan(out, recipe, recipe.seed + 4);
        appendScan(out, recipe, recipe.seed + 5);
    }
    append(out, {0xFF, 0xD9});
    built.imageEnd = out.size();
    out.resize(out.size() + recipe.padding, 0);
    return built;
}

std::vector<Bytes> headerSegments(const Bytes& image) {
    std::vector<Bytes> segments;
    walkSegments(image, [&](const JpegSegment& segment) {
        segments.push_back(
            slice(image, segment.offset, segment.dataOffset + segment.dataLength - 1));
        return true;
    });
    return segments;
}

Bytes compressedDataOf(const Bytes& image) {
    const SegmentWalk walk = walkSegments(image, [](const JpegSegment&) { return true; });
    std::size_t end = image.size();
    while (end >= 2 && !(image[end - 2] == 0xFF && image[end - 1] == 0xD9))
        --end;
    if (walk.end != SegmentWalkEnd::startOfScan || end < walk.offset + 2)
        return {};
    return slice(image, walk.offset, end - 1);
}

} // namespace twinframe::test
