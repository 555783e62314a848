// Writes the side-by-side benchmark's corpus: stereo pairs NAME-L.jpg and NAME-R.jpg that decode,
// laid out as a camera writes them (an Exif APP1 right after SOI, no JFIF, 4:2:0 at quality 95).
// Each pair shows one made-up scene (sky and ground shading, textured surfaces, objects with
// sharp edges) from two viewpoints a few dozen pixels apart, with sensor noise of its own in
// each picture, so that the pictures compress about as camera pictures of their size do.
// Deterministic, so every run and every machine measures the same bytes.
//   twinframe-make-stereo-pairs FOLDER COUNT [WIDTH HEIGHT]   (3648 x 2736 unless given)
#include "format/exifWriter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

// After <cstddef> and <cstdio>: it uses size_t and FILE without including them.
#include <jpeglib.h>

namespace {

// A small fast generator (xorshift): the scenes need variety, not statistical quality.
struct Random {
    std::uint32_t state;
    explicit Random(std::uint32_t seed) : state(seed * 2654435761u + 1u) {}
    std::uint32_t next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int below(int limit) { return static_cast<int>(next() % static_cast<std::uint32_t>(limit)); }
};

// A grid of random values every `cell` pixels, read back smoothly (bilinear): one octave of
// texture. Values are 0..255 scaled by `amplitude` / 256 around zero.
struct NoiseOctave {
    int cell;
    int amplitude;
    int columns;
    std::vector<std::int16_t> grid;

    NoiseOctave(int width, int height, int cell_, int amplitude_, Random& random)
        : cell(cell_), amplitude(amplitude_), columns(width / cell_ + 2) {
        grid.resize(static_cast<std::size_t>(columns) *
                    static_cast<std::size_t>(height / cell + 2));
        for (auto& value : grid)
            value = static_cast<std::int16_t>(random.below(256) - 128);
    }

    int at(int x, int y) const {
        const int cx = x / cell, cy = y / cell, fx = x % cell, fy = y % cell;
        const auto g = [&](int gx, int gy) {
            return static_cast<int>(grid[static_cast<std::size_t>(gy * columns + gx)]);
        };
        const int top = g(cx, cy) * (cell - fx) + g(cx + 1, cy) * fx;
        const int bottom = g(cx, cy + 1) * (cell - fx) + g(cx + 1, cy + 1) * fx;
        return (top * (cell - fy) + bottom * fy) / (cell * cell) * amplitude / 128;
    }
};

struct Scene {
    int width;
    int height;
    std::vector<std::uint8_t> rgb; // width x height, three bytes a pixel
};

// Where pixel (x, y) of a picture `width` pixels wide begins in its RGB bytes.
std::size_t at(int x, int y, int width) {
    return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
            static_cast<std::size_t>(x)) *
           3;
}

std::uint8_t clampByte(int value) {
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

// The scene both pictures see, wide enough for the right picture's viewpoint.
Scene makeScene(int width, int height, std::uint32_t seed) {
    Random random(seed);
    Scene scene{width, height, std::vector<std::uint8_t>(at(0, height, width))};
    const NoiseOctave broad(width, height, 256, 60, random);
    const NoiseOctave medium(width, height, 32, 30, random);
    const NoiseOctave fine(width, height, 5, 18, random);
    const int horizon = height * (35 + random.below(30)) / 100;
    const int sky[3] = {110 + random.below(60), 140 + random.below(60), 200 + random.below(50)};
    const int ground[3] = {70 + random.below(80), 80 + random.below(60), 40 + random.below(50)};
    for (int y = 0; y < height; ++y) {
        const bool isSky = y < horizon;
        for (int x = 0; x < width; ++x) {
            const int shade =
                broad.at(x, y) + medium.at(x, y) / (isSky ? 3 : 1) + (isSky ? 0 : fine.at(x, y));
            const int lift = isSky ? -y * 40 / std::max(horizon, 1) : (y - horizon) * 30 / height;
            std::uint8_t* pixel = &scene.rgb[at(x, y, width)];
            for (int c = 0; c < 3; ++c)
                pixel[c] = clampByte((isSky ? sky[c] : ground[c]) + shade + lift);
        }
    }
    // Objects: boxes and discs with a shading of their own and sharp edges.
    const int objects = 30 + random.below(30);
    for (int i = 0; i < objects; ++i) {
        const int w = width / 40 + random.below(width / 6),
                  h = height / 40 + random.below(height / 5);
        const int left = random.below(width),
                  top = horizon / 2 + random.below(height - horizon / 2);
        const bool disc = random.below(2) == 0;
        const int colour[3] = {random.below(256), random.below(256), random.below(256)};
        for (int y = top; y < std::min(top + h, height); ++y)
            for (int x = left; x < std::min(left + w, width); ++x) {
                const long dx = 2L * (x - left) - w, dy = 2L * (y - top) - h;
                if (disc && dx * dx * h * h + dy * dy * w * w > 1L * w * w * h * h)
                    continue;
                std::uint8_t* pixel = &scene.rgb[at(x, y, width)];
                const int shade = medium.at(x, y) / 2 + fine.at(x, y) / 2 - (y - top) * 40 / h;
                for (int c = 0; c < 3; ++c)
                    pixel[c] = clampByte(colour[c] + shade);
            }
    }
    return scene;
}

// One picture: width x height of the scene from column `from`, with noise of its own.
void writePicture(const std::filesystem::path& path, const Scene& scene, int from, int width,
                  std::uint32_t seed) {
    FILE* file = std::fopen(path.string().c_str(), "wb");
    if (!file) {
        std::perror(path.string().c_str());
        std::exit(1);
    }
    jpeg_compress_struct compress{};
    jpeg_error_mgr errors{};
    compress.err = jpeg_std_error(&errors);
    jpeg_create_compress(&compress);
    jpeg_stdio_dest(&compress, file);
    compress.image_width = static_cast<JDIMENSION>(width);
    compress.image_height = static_cast<JDIMENSION>(scene.height);
    compress.input_components = 3;
    compress.in_color_space = JCS_RGB;
    jpeg_set_defaults(&compress); // YCbCr 4:2:0, the standard Huffman tables
    jpeg_set_quality(&compress, 95, TRUE);
    compress.write_JFIF_header = FALSE; // a camera's picture begins with its Exif
    jpeg_start_compress(&compress, TRUE);
    const std::vector<std::uint8_t> exif = twinframe::minimalExifSegment(
        static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(scene.height));
    // The segment without its marker and length, which libjpeg writes itself.
    jpeg_write_marker(&compress, JPEG_APP0 + 1, exif.data() + 4,
                      static_cast<unsigned>(exif.size() - 4));
    Random noise(seed);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
    for (int y = 0; y < scene.height; ++y) {
        const std::uint8_t* source = &scene.rgb[at(from, y, scene.width)];
        for (std::size_t i = 0; i < row.size(); ++i)
            row[i] = clampByte(source[i] + static_cast<int>(noise.next() % 9) - 4);
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&compress, rows, 1);
    }
    jpeg_finish_compress(&compress);
    jpeg_destroy_compress(&compress);
    if (std::fclose(file) != 0) {
        std::perror(path.string().c_str());
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 5) {
        std::cerr << "usage: twinframe-make-stereo-pairs FOLDER COUNT [WIDTH HEIGHT]\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    const int count = std::stoi(argv[2]);
    const int width = argc == 5 ? std::stoi(argv[3]) : 3648;
    const int height = argc == 5 ? std::stoi(argv[4]) : 2736;
    std::filesystem::create_directories(folder);
    constexpr int kMostDisparity = 96;
    for (int i = 0; i < count; ++i) {
        const auto seed = static_cast<std::uint32_t>(i);
        const Scene scene = makeScene(width + kMostDisparity, height, seed);
        const int disparity = 24 + static_cast<int>(seed * 37u % 72u);
        char name[32];
        std::snprintf(name, sizeof name, "pair%03d-L.jpg", i);
        writePicture(folder / name, scene, 0, width, seed * 2 + 1);
        std::snprintf(name, sizeof name, "pair%03d-R.jpg", i);
        writePicture(folder / name, scene, disparity, width, seed * 2 + 2);
    }
    return 0;
}
