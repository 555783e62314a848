// Writes COUNT stereo pairs of synthetic JPEG pictures of about 2 MB each (or BYTES of compressed
// data each) into FOLDER, as pairNNN-L.jpg and pairNNN-R.jpg, for the join benchmark.
#include "JpegBuilder.h"

#include <cstdio>
#include <filesystem>
#include <string>

using namespace twinframe::test;

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "Usage: twinframe-make-pairs FOLDER COUNT [BYTES]\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int count = std::stoi(argv[2]);
    const std::size_t dataSize = argc == 4 ? std::stoull(argv[3]) : 2'000'000;
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "pair%03d", i);
        for (const char* side : {"-L.jpg", "-R.jpg"}) {
            const auto seed = static_cast<std::uint32_t>(2 * i + (side[1] == 'R'));
            writeBytes(folder / (std::string(name) + side), buildJpeg({.width = 3584,
                                                                       .height = 2016,
                                                                       .cameraMpSegment = true,
                                                                       .dataSize = dataSize,
                                                                       .seed = seed})
                                                                .bytes);
        }
    }
    return 0;
}
