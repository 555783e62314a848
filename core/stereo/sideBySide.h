#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace twinframe {

// Stereo pairs as one side-by-side JPEG and back, without decoding: the pictures' DCT
// coefficients are placed side by side (or cut apart) and only entropy-coded again, so each half
// decodes to exactly the pixels of its picture. Everything here works on bytes in memory; the
// batches that read and write files are built on it.

// Which picture is on the left of a side-by-side picture.
enum class StereoOrder {
    crossEyed, // the right picture on the left: a .jps file as the format has it by default
    parallel,  // the left picture on the left: what VR headsets and 3D TVs take
};

// A picture given to the transforms: its bytes, and its name as the user gave it, for messages.
struct StereoPicture {
    std::span<const std::uint8_t> bytes;
    std::string name;
};

struct SideBySide {
    std::vector<std::uint8_t> jpeg; // the side-by-side picture; empty when refused
    std::string problem;            // why it was not made, naming the pictures; empty when made
    std::string note; // said with a made picture: what it lost (a partial column of blocks)
    bool made() const { return problem.empty(); }
};

// The side-by-side JPEG of a stereo pair, in order: coefficients copied (scaled exactly to a
// common divisor where the pictures' quantization tables differ), the left picture's Exif kept
// with its pixel dimensions made true, and an APP3 "_JPSJPS_" descriptor saying the order; no
// JFIF segment beside the Exif, no MP segment. Baseline, with libjpeg's standard Huffman tables.
// The picture placed first keeps only its whole columns of MCUs (at most 15 pixels lost, said in
// note). Refused (problem set) when the pictures differ in height, components, colour space or
// sampling, are not 8-bit, either is not a picture libjpeg reads without a warning of corrupt
// data, or a coefficient would not fit a baseline JPEG once scaled. Peak memory: one iMCU row of
// each picture's coefficients (the whole of a progressive picture's), and the output's bytes.
SideBySide makeSideBySide(const StereoPicture& left, const StereoPicture& right, StereoOrder order);

struct StereoHalves {
    std::vector<std::uint8_t> left;  // the left eye's picture, a JPEG
    std::vector<std::uint8_t> right; // the right eye's picture, a JPEG
    std::string problem;             // why it was not cut, naming the picture; empty when cut
    bool cut() const { return problem.empty(); }
};

// The order a side-by-side picture says it is in (its APP3 "_JPSJPS_" descriptor), if it says.
std::optional<StereoOrder> describedOrder(std::span<const std::uint8_t> jpeg);

// Cuts a side-by-side picture into its two pictures in the DCT domain. The order is the one the
// picture's descriptor says, else assumed; the halves come back in eye order either way.
// Refused when the width is odd, the half width is not a multiple of the MCU width, or the
// picture cannot be read. Each half keeps the picture's Exif, its pixel dimensions made true,
// and no descriptor; baseline, with libjpeg's standard Huffman tables.
StereoHalves cutSideBySide(const StereoPicture& picture, StereoOrder assumed);

} // namespace twinframe
