#include "MpoBuilder.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
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
        throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + path.string());
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "twinframe-test-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempDir::names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace twinframe::test
