// Writes the benchmark corpus: stereo MPO files of about 4 MB whose bytes look like real JPEG
// data to the scan (every FF in the entropy-coded bytes is followed by 00). Like camera files,
// each carries an MP index in its first image, unless --no-index asks for files that must be
// scanned. Deterministic, so every run and every machine measures the same bytes.
#include "MpoBuilder.h"

#include <iostream>
#include <string>

using namespace twinframe::test;

int main(int argc, char** argv) {
    const bool withIndex = !(argc == 4 && std::string(argv[3]) == "--no-index");
    if (argc != 3 && withIndex) {
        std::cerr << "usage: twinframe-make-corpus FOLDER COUNT [--no-index]\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int count = std::stoi(argv[2]);
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        const auto seed = static_cast<std::uint32_t>(i);
        const std::size_t left = 2'000'000 + (seed * 7919u) % 200'000;
        const std::size_t right = 2'000'000 + (seed * 104'729u) % 200'000;
        Bytes file = jpegLike(left, 0xE1, seed * 2 + 1);
        const Bytes second = jpegLike(right, i % 2 ? 0xE0 : 0xE1, seed * 2 + 2);
        file.insert(file.end(), second.begin(), second.end());
        if (withIndex)
            writeMpIndex(file, {0, left});
        char name[32];
        std::snprintf(name, sizeof name, "BENCH%04d.MPO", i);
        writeBytes(folder / name, file);
    }
    return 0;
}
