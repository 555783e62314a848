#include "MpoBuilder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace twinframe::test {

Bytes jpegLike(std::size_t size, std::uint8_t marker, std::uint32_t seed) {
    Bytes bytes(size);
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (auto& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    for (std::size_t i = 0; i + 1 < size; ++i)
        if (bytes[i] == 0xFF)
            bytes[i + 1] = 0x00;
    if (size > 0 && bytes[size - 1] == 0xFF)
        bytes[size - 1] = 0xFE;
    if (size >= 4)
        placeSignature(bytes, 0, marker);
    if (size >= 6) {
        bytes[size - 2] = 0xFF;
        bytes[size - 1] = 0xD9;
    }
    return bytes;
}

Bytes mpoWithImagesAt(std::size_t totalLength, std::initializer_list<std::size_t> starts) {
    std::vector<std::size_t> bounds(starts);
    if (bounds.empty() || bounds.front() != 0)
        throw std::invalid_argument("the first image starts at 0");
    bounds.push_back(totalLength);
    Bytes file;
    file.reserve(totalLength);
    for (std::size_t i = 0; i + 1 < bounds.size(); ++i) {
        const std::uint8_t marker = (i % 2 == 0) ? 0xE1 : 0xE0;
        const Bytes image =
            jpegLike(bounds[i + 1] - bounds[i], marker, static_cast<std::uint32_t>(i + 1));
        file.insert(file.end(), image.begin(), image.end());
    }
    return file;
}

void putNumber(Bytes& bytes, std::size_t offset, std::uint32_t value, int size, bool littleEndian) {
    for (int i = 0; i < size; ++i) {
        const int shift = littleEndian ? 8 * i : 8 * (size - 1 - i);
        bytes.at(offset + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value >> shift);
    }
}

IndexedMpo mpoWithIndex(std::size_t totalLength, std::initializer_list<std::size_t> starts,
                        bool littleEndian, bool thumbnail) {
    IndexedMpo made{mpoWithImagesAt(totalLength, starts), {}};
    made.layout = writeMpIndex(made.bytes, starts, littleEndian, thumbnail);
    return made;
}

MpIndexLayout writeMpIndex(Bytes& bytes, const std::vector<std::size_t>& bounds, bool littleEndian,
                           bool thumbnail, std::size_t exifLength, std::size_t fileLength) {
    const std::size_t totalLength = fileLength != 0 ? fileLength : bytes.size();
    const auto count = static_cast<std::uint32_t>(bounds.size());
    const auto put = [&](std::size_t offset, std::uint32_t value, int size) {
        putNumber(bytes, offset, value, size, littleEndian);
    };
    const auto putBigEndian = [&](std::size_t offset, std::uint32_t value) {
        putNumber(bytes, offset, value, 2, false);
    };

    // APP1: "Exif\0\0" and exifLength bytes standing in for the Exif data (and its thumbnail).
    constexpr std::size_t kApp1 = 2;
    const auto kApp1Length = static_cast<std::uint32_t>(2 + 6 + exifLength);
    putBigEndian(kApp1 + 2, kApp1Length);
    std::copy_n("Exif\0", 6, bytes.begin() + kApp1 + 4);
    if (thumbnail)
        placeSignature(bytes, kApp1 + 40, 0xE0);

    // APP2: "MPF\0", the header, an IFD of three entries, the next-IFD offset, the entries.
    MpIndexLayout layout;
    layout.app2 = kApp1 + 2 + kApp1Length;
    layout.base = layout.app2 + 8;
    layout.ifd = layout.base + 8;
    layout.entries = layout.ifd + 2 + 3 * 12 + 4;
    const std::size_t app2End = layout.entries + 16 * bounds.size();
    bytes.at(layout.app2) = 0xFF;
    bytes.at(layout.app2 + 1) = 0xE2;
    putBigEndian(layout.app2 + 2, static_cast<std::uint32_t>(app2End - layout.app2 - 2));
    std::copy_n("MPF", 4, bytes.begin() + static_cast<std::ptrdiff_t>(layout.app2 + 4));
    std::copy_n(littleEndian ? "II*\0" : "MM\0*", 4,
                bytes.begin() + static_cast<std::ptrdiff_t>(layout.base));
    put(layout.base + 4, 8, 4);
    put(layout.ifd, 3, 2);
    const std::uint32_t tags[3][4] = {
        {0xB000, 7, 4, littleEndian ? 0x30303130u : 0x30313030u}, // MPFVersion "0100"
        {0xB001, 4, 1, count},                                    // NumberOfImages
        {0xB002, 7, 16 * count, static_cast<std::uint32_t>(layout.entries - layout.base)},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        const std::size_t entry = layout.ifd + 2 + 12 * i;
        put(entry, tags[i][0], 2);
        put(entry + 2, tags[i][1], 2);
        put(entry + 4, tags[i][2], 4);
        put(entry + 8, tags[i][3], 4);
    }
    put(layout.entries - 4, 0, 4);
    for (std::size_t k = 0; k < bounds.size(); ++k) {
        const std::size_t entry = layout.entries + 16 * k;
        const std::size_t end = k + 1 < bounds.size() ? bounds[k + 1] : totalLength;
        put(entry, k == 0 ? 0x20020002u : 0x00020002u, 4);
        put(entry + 4, static_cast<std::uint32_t>(end - bounds[k]), 4);
        put(entry + 8, k == 0 ? 0 : static_cast<std::uint32_t>(bounds[k] - layout.base), 4);
        put(entry + 12, 0, 4);
    }
    // The compressed data begins: the rest of the first image is its filler.
    bytes.at(app2End) = 0xFF;
    bytes.at(app2End + 1) = 0xDA;
    return layout;
}

void placeSignature(Bytes& bytes, std::size_t offset, std::uint8_t marker) {
    bytes.at(offset) = 0xFF;
    bytes.at(offset + 1) = 0xD8;
    bytes.at(offset + 2) = 0xFF;
    bytes.at(offset + 3) = marker;
}

Bytes slice(const Bytes& bytes, std::size_t first, std::size_t last) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(first),
                 bytes.begin() + static_cast<std::ptrdiff_t>(last) + 1);
}

Bytes readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + utf8Text(path));
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + utf8Text(path));
}

TempDir::TempDir() {
    static std::mt19937_64 generator{std::random_device{}()};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%016llx",
                      static_cast<unsigned long long>(generator()));
        path_ = base / ("twinframe-test-" + std::string(suffix));
        // Made by this call and no other: a folder that was already there is never taken.
        if (std::filesystem::create_directory(path_))
            return;
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(utf8Text(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<FileEntry> allSelected(const std::vector<std::string>& names) {
    std::vector<FileEntry> entries;
    for (const std::string& name : names)
        entries.push_back({name, true});
    return entries;
}

} // namespace twinframe::test
