// Writes the benchmark corpus: stereo MPO files of about 4 MB whose bytes look like real JPEG
// data to the scan (every FF in the entropy-coded bytes is followed by 00). Like camera files,
// each carries an MP index in its first image, unless --no-index asks for files that must be
// scanned, and --small asks for files of about 4 kB (two pictures of 2 kB, with an index), where
// what each file costs besides its bytes shows. Deterministic, so every run and every machine
// measures the same bytes.
#include "MpoBuilder.h"

#include <iostream>
#include <string>

using namespace twinframe::test;

int main(int argc, char** argv) {
    const std::string option = argc == 4 ? argv[3] : "";
    const bool withIndex = option != "--no-index";
    const bool small = option == "--small";
    if (argc < 3 || argc > 4 || (argc == 4 && option != "--no-index" && !small)) {
        std::cerr << "usage: twinframe-make-corpus FOLDER COUNT [--no-index | --small]\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int count = std::stoi(argv[2]);
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        const auto seed = static_cast<std::uint32_t>(i);
        const std::size_t pictureSize = small ? 2'000 : 2'000'000;
        const std::size_t left = pictureSize + (seed * 7919u) % (pictureSize / 10);
        const std::size_t right = pictureSize + (seed * 104'729u) % (pictureSize / 10);
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
