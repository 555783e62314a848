#pragma once

#include "stereo/pictureCoefficients.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace twinframe {

// What a written JPEG is made of: for each component, its quantization table and the runs of
// block columns, left to right, taken from pictures read whole (PictureCoefficients). Rows are
// taken as they are: the pictures are as high as the output.
struct BlockRun {
    PictureCoefficients* picture = nullptr;
    int component = 0;                 // its index in the picture
    JDIMENSION firstColumn = 0;        // the picture's first block column taken
    JDIMENSION columns = 0;            // how many are taken
    std::array<int, DCTSIZE2> scale{}; // each coefficient times this: its table's step / ours
    bool scaled = false;               // whether any scale is not 1
};

struct ComponentPlan {
    std::array<UINT16, DCTSIZE2> quantization{}; // natural order, as libjpeg keeps them
    std::vector<BlockRun> runs;
};

struct CoefficientPlan {
    const PictureCoefficients* model = nullptr; // colour space, component ids and sampling
    JDIMENSION width = 0;
    JDIMENSION height = 0;
    std::vector<ComponentPlan> components;
    std::vector<std::uint8_t> exif; // the data of an APP1 segment to write first; none if empty
    std::vector<std::uint8_t> app3; // the data of an APP3 segment to write after it
    std::size_t sizeHint = 0;       // about how many bytes the JPEG will take
};

struct WrittenJpeg {
    std::vector<std::uint8_t> jpeg; // empty when not written
    std::string failure;            // libjpeg's reason, when it failed
    // When a coefficient does not fit a baseline JPEG: the picture it came from, and whether it
    // was scaled to another table.
    const PictureCoefficients* outOfRange = nullptr;
    bool scaled = false;
    // A picture opened as a stream whose data libjpeg could not read while writing; its errors
    // say why.
    const PictureCoefficients* unreadable = nullptr;
    bool written() const {
        return failure.empty() && outOfRange == nullptr && unreadable == nullptr;
    }
};

// Writes the plan as a baseline sequential JPEG with libjpeg's standard Huffman tables, no
// restart markers, and its segments (no JFIF segment when it has Exif). Pictures opened as
// streams are decoded row by row as the rows are written, then read to their end. Peak memory:
// the coefficients the pictures hold (one iMCU row each when streamed), the output's bytes and
// one row of blocks a component.
WrittenJpeg writeCoefficients(const CoefficientPlan& plan);

} // namespace twinframe
