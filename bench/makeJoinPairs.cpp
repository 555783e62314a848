// Writes COUNT stereo pairs of synthetic JPEG pictures of about 2 MB each into FOLDER, as
// pairNNN-L.jpg and pairNNN-R.jpg, for the join benchmark.
#include "JpegBuilder.h"

#include <cstdio>
#include <filesystem>
#include <string>

using namespace twinframe::test;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: twinframe-make-pairs FOLDER COUNT\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int count = std::stoi(argv[2]);
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "pair%03d", i);
        for (const char* side : {"-L.jpg", "-R.jpg"}) {
            const auto seed = static_cast<std::uint32_t>(2 * i + (side[1] == 'R'));
            writeBytes(folder / (std::string(name) + side), buildJpeg({.width = 3584,
                                                                       .height = 2016,
                                                                       .cameraMpSegment = true,
                                                                       .dataSize = 2'000'000,
                                                                       .seed = seed})
                                                                .bytes);
        }
    }
    return 0;
}
