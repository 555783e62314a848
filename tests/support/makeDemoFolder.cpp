// Fills a folder with a few generated MPO files of every kind, for trying the program by hand.
#include "MpoBuilder.h"

#include <fstream>
#include <iostream>

using namespace twinframe::test;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: twinframe-make-demo FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    writeBytes(folder / "DSCF0001.MPO", mpoWithImagesAt(1'400'000, {0, 700'000}));
    writeBytes(folder / "DSCF0002.MPO", mpoWithImagesAt(1'200'000, {0, 590'000}));
    writeBytes(folder / "burst.mpo", mpoWithImagesAt(900'000, {0, 300'000, 600'000}));
    writeBytes(folder / "single.mpo", jpegLike(250'000));
    writeBytes(folder / "bad-on-purpose.mpo", jpegLike(80'000, 0xE0));
    std::ofstream(folder / "README.txt")
        << "Generated MPO files to try Twinframe on (made by twinframe-make-demo).\n\n"
           "DSCF0001.MPO, DSCF0002.MPO  stereo pairs: NAME-L.jpg and NAME-R.jpg\n"
           "burst.mpo                   three images: burst-1.jpg, burst-2.jpg, burst-3.jpg\n"
           "single.mpo                  one image: single.jpg\n"
           "bad-on-purpose.mpo          a plain JPEG (JFIF) named .mpo, bad on purpose: it draws\n"
           "                            the message \"bad-on-purpose.mpo is not a valid MPO "
           "file\"\n";
    return 0;
}
