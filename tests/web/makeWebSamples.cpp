// Writes the page's test files into a folder: every kind of file a batch meets, and the sets
// that the speed hack and the in-batch no-overwrite rule are tested with.
#include "MpoBuilder.h"

#include <iostream>

using namespace twinframe::test;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: twinframe-make-web-samples FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder / "mixed");
    std::filesystem::create_directories(folder / "speed");
    std::filesystem::create_directories(folder / "case");

    // A stereo pair found by the scan, one split at its MP index (the scan alone would cut at
    // the thumbnail), several images, one image, a JFIF file and one too small.
    writeBytes(folder / "mixed" / "DSCF0001.MPO", mpoWithImagesAt(1'400'000, {0, 700'000}));
    writeBytes(folder / "mixed" / "DSCF0002.MPO",
               mpoWithIndex(1'200'000, {0, 610'000}, true, true).bytes);
    writeBytes(folder / "mixed" / "burst.mpo", mpoWithImagesAt(900'000, {0, 300'000, 600'000}));
    writeBytes(folder / "mixed" / "single.mpo", jpegLike(250'000));
    writeBytes(folder / "mixed" / "not-an-mpo.mpo", jpegLike(80'000, 0xE0));
    writeBytes(folder / "mixed" / "tiny.mpo", jpegLike(100));
    // x.mpo gives x-1.jpg and x-2.jpg, so x-1.mpo (after it in the list) must not replace x-1.jpg.
    writeBytes(folder / "mixed" / "x.mpo", mpoWithImagesAt(600'000, {0, 100'000}));
    writeBytes(folder / "mixed" / "x-1.mpo", jpegLike(50'000, 0xE1, 7));

    // Under the speed hack the small file after the large pair is too small.
    writeBytes(folder / "speed" / "a-large.mpo", mpoWithImagesAt(1'500'000, {0, 750'000}));
    writeBytes(folder / "speed" / "b-small.mpo", mpoWithImagesAt(400'000, {0, 200'000}));
    writeBytes(folder / "speed" / "c-pair.mpo", mpoWithImagesAt(1'500'000, {0, 760'000}));

    // Names that differ only in letter case.
    writeBytes(folder / "case" / "Pair.mpo", mpoWithImagesAt(200'000, {0, 100'000}));
    writeBytes(folder / "case" / "pair.MPO", mpoWithImagesAt(300'000, {0, 150'000}));

    // More images than the page's list of images keeps rows for at a time.
    std::filesystem::create_directories(folder / "many");
    for (int i = 0; i < 250; ++i) {
        const std::string number = std::to_string(1000 + i).substr(1);
        writeBytes(folder / "many" / ("S" + number + ".mpo"),
                   mpoWithImagesAt(6'000 + 10 * static_cast<std::size_t>(i), {0, 3'000}));
    }
    return 0;
}
