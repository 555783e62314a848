// Writes the page's test files into a folder: every kind of file a batch meets, the sets that
// the speed hack and the in-batch no-overwrite rule are tested with, and pictures to join.
#include "JpegBuilder.h"
#include "MpoBuilder.h"

#include <fstream>
#include <iostream>
#include <string>

using namespace twinframe::test;

namespace {

// Writes only the bytes of an indexed stereo MPO of size bytes that are not zero: its head (SOI,
// Exif, MP index), the second image's start at the middle and each image's end. The rest stays a
// hole, so the file takes a few KiB of the disk whatever its size.
void writeSparseStereo(const std::filesystem::path& path, std::size_t size) {
    // Nor is the whole file made in memory first: a GiB of zeros took seconds per file.
    const std::size_t middle = size / 2;
    Bytes head(4096, 0);
    placeSignature(head, 0, 0xE1);
    writeMpIndex(head, {0, middle}, true, false, 200, size);
    Bytes second(4096, 0);
    second[0] = 0xFF;
    second[1] = 0xD9;
    placeSignature(second, 2, 0xE1);
    const Bytes end{0xFF, 0xD9};
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const auto put = [&](std::size_t first, const Bytes& bytes) {
        out.seekp(static_cast<std::streamoff>(first));
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    };
    put(0, head);
    put(middle - 2, second);
    put(size - 2, end);
    if (!out.flush())
        throw std::runtime_error("cannot write " + path.string());
}

void writePicture(const std::filesystem::path& path, JpegRecipe recipe, std::uint32_t seed) {
    recipe.seed = seed;
    writeBytes(path, buildJpeg(recipe).bytes);
}

// Pairs to join, as a photographer would pick them all at once: plain ones, halves of a camera
// file (with what the camera measured, Exif in two segments, padding) named .JPEG, and pictures
// each join refuses, one for a name already joined.
void writeJoinPictures(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    const JpegRecipe plain;
    writePicture(folder / "a-L.jpg", plain, 1);
    writePicture(folder / "a-R.jpg", plain, 2);
    JpegRecipe camera;
    camera.width = 320;
    camera.height = 240;
    camera.measuredMpSegment = true;
    camera.exifSegments = 2;
    camera.progressive = true;
    camera.dataSize = 40'000;
    camera.padding = 5'000;
    writePicture(folder / "cam-L.JPEG", camera, 3);
    camera.measuredMpSegment = false;
    camera.cameraMpSegment = true;
    writePicture(folder / "cam-R.JPEG", camera, 4);
    // Refused: frames of different sizes, a left cut short, a right without its left.
    JpegRecipe wider = plain;
    wider.width = 80;
    writePicture(folder / "odd-L.jpg", plain, 5);
    writePicture(folder / "odd-R.jpg", wider, 6);
    Bytes cut = buildJpeg(plain).bytes;
    cut.resize(cut.size() - 100);
    writeBytes(folder / "cut-L.jpg", cut);
    writePicture(folder / "cut-R.jpg", plain, 7);
    writePicture(folder / "lone-R.jpg", plain, 8);
    // A second pair whose MPO has the name of the first's.
    writePicture(folder / "a-l.jpg", plain, 9);
    writePicture(folder / "a-r.jpg", plain, 10);
}

} // namespace

int main(int argc, char** argv) {
    // --sparse FOLDER COUNT MIB: COUNT sparse stereo files of MIB MiB each, for archives that
    // need Zip64.
    if (argc == 5 && std::string(argv[1]) == "--sparse") {
        const std::filesystem::path folder = argv[2];
        std::filesystem::create_directories(folder);
        const std::size_t size = std::stoul(argv[4]) * 1024 * 1024;
        for (std::size_t i = 1; i <= std::stoul(argv[3]); ++i)
            writeSparseStereo(folder / ("BIG" + std::to_string(i) + ".MPO"), size);
        return 0;
    }
    if (argc != 2) {
        std::cerr << "usage: twinframe-make-web-samples FOLDER | --sparse FOLDER COUNT MIB\n";
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

    writeJoinPictures(folder / "join");

    // More images than the page's list of images keeps rows for at a time.
    std::filesystem::create_directories(folder / "many");
    for (int i = 0; i < 250; ++i) {
        const std::string number = std::to_string(1000 + i).substr(1);
        writeBytes(folder / "many" / ("S" + number + ".mpo"),
                   mpoWithImagesAt(6'000 + 10 * static_cast<std::size_t>(i), {0, 3'000}));
    }
    return 0;
}
