#include "stereo/sideBySide.h"

#include "format/exifDimensions.h"
#include "format/jpegSegments.h"
#include "format/jpsDescriptor.h"
#include "stereo/coefficientWriter.h"
#include "stereo/pictureCoefficients.h"

#include <algorithm>
#include <numeric>

namespace twinframe {

namespace {

using Bytes = std::span<const std::uint8_t>;

// Each output component has a table slot of its own, and a JPEG has four.
constexpr int kMaxComponents = NUM_QUANT_TBLS;

std::string colourSpaceName(J_COLOR_SPACE space) {
    switch (space) {
    case JCS_GRAYSCALE:
        return "greyscale";
    case JCS_RGB:
        return "RGB";
    case JCS_YCbCr:
        return "YCbCr";
    case JCS_CMYK:
        return "CMYK";
    case JCS_YCCK:
        return "YCCK";
    default:
        return "unknown";
    }
}

std::string sampling(const jpeg_decompress_struct& info) {
    std::string text;
    for (int ci = 0; ci < info.num_components; ++ci) {
        const jpeg_component_info& component = info.comp_info[ci];
        text += (ci > 0 ? ", " : "") + std::to_string(component.h_samp_factor) + "x" +
                std::to_string(component.v_samp_factor);
    }
    return text;
}

// The width of a column of MCUs, in pixels: what a cut between two pictures must fall on.
JDIMENSION mcuWidth(const jpeg_decompress_struct& info) {
    return static_cast<JDIMENSION>(DCTSIZE * info.max_h_samp_factor);
}

std::string readProblem(const StereoPicture& picture, const PictureCoefficients& coefficients) {
    if (coefficients.tooLarge())
        return "Cannot read " + picture.name + ": at " +
               std::to_string(coefficients.info.image_width) + " x " +
               std::to_string(coefficients.info.image_height) +
               " pixels it is too large to hold in memory";
    return "Cannot read " + picture.name + " as a JPEG: " + coefficients.errors.text();
}

// What keeps a picture read by libjpeg from being written again here, if anything.
std::string pictureProblem(const StereoPicture& picture, const PictureCoefficients& coefficients) {
    const jpeg_decompress_struct& info = coefficients.info;
    if (info.data_precision != 8)
        return picture.name + " has " + std::to_string(info.data_precision) +
               "-bit samples; only 8-bit pictures are put side by side or cut";
    if (info.num_components > kMaxComponents)
        return picture.name + " has " + std::to_string(info.num_components) +
               " components; at most 4 are carried";
    for (int ci = 0; ci < info.num_components; ++ci) {
        const JQUANT_TBL* table = coefficients.quantization(ci);
        if (table == nullptr || std::find(std::begin(table->quantval), std::end(table->quantval),
                                          0) != std::end(table->quantval))
            return picture.name + " has no usable quantization table for component " +
                   std::to_string(ci + 1);
    }
    return {};
}

std::string pairProblem(const StereoPicture& left, const PictureCoefficients& l,
                        const StereoPicture& right, const PictureCoefficients& r) {
    for (const auto& [picture, coefficients] : {std::pair{&left, &l}, std::pair{&right, &r}})
        if (auto problem = pictureProblem(*picture, *coefficients); !problem.empty())
            return problem;
    const auto differ = [&](const std::string& what, const std::string& a, const std::string& b) {
        return left.name + " and " + right.name + " differ in " + what + " (" + a + " and " + b +
               ")";
    };
    const jpeg_decompress_struct& a = l.info;
    const jpeg_decompress_struct& b = r.info;
    if (a.num_components != b.num_components)
        return differ("components", std::to_string(a.num_components),
                      std::to_string(b.num_components));
    if (a.jpeg_color_space != b.jpeg_color_space)
        return differ("colour space", colourSpaceName(a.jpeg_color_space),
                      colourSpaceName(b.jpeg_color_space));
    if (sampling(a) != sampling(b))
        return differ("sampling", sampling(a), sampling(b));
    if (a.image_height != b.image_height)
        return differ("height", std::to_string(a.image_height), std::to_string(b.image_height));
    return {};
}

// The data of the picture's Exif APP1 segment, if it has one.
std::optional<Bytes> exifData(Bytes jpeg) {
    std::optional<Bytes> found;
    walkSegments(jpeg, [&](const JpegSegment& segment) {
        const Bytes data = jpeg.subspan(segment.dataOffset, segment.dataLength);
        if (segment.marker != kApp1Marker || data.size() < kExifIdentifier.size() ||
            !std::equal(kExifIdentifier.begin(), kExifIdentifier.end(), data.begin()))
            return true;
        found = data;
        return false;
    });
    return found;
}

std::vector<std::uint8_t> exifOfSize(Bytes jpeg, JDIMENSION width, JDIMENSION height) {
    const std::optional<Bytes> exif = exifData(jpeg);
    return exif ? exifWithDimensions(*exif, width, height) : std::vector<std::uint8_t>();
}

// A component's run of blocks, its coefficients scaled from the picture's table to ours.
BlockRun blockRun(PictureCoefficients& picture, int component, JDIMENSION first, JDIMENSION columns,
                  const std::array<UINT16, DCTSIZE2>& quantization) {
    BlockRun run{&picture, component, first, columns, {}, false};
    const JQUANT_TBL& table = *picture.quantization(component);
    for (std::size_t k = 0; k < DCTSIZE2; ++k) {
        run.scale[k] = table.quantval[k] / quantization[k];
        run.scaled |= run.scale[k] != 1;
    }
    return run;
}

std::array<UINT16, DCTSIZE2> tableOf(const PictureCoefficients& picture, int component) {
    std::array<UINT16, DCTSIZE2> values;
    std::copy_n(picture.quantization(component)->quantval, DCTSIZE2, values.begin());
    return values;
}

SideBySide refusedPair(std::string problem) {
    SideBySide refused;
    refused.problem = std::move(problem);
    return refused;
}

StereoHalves refusedCut(std::string problem) {
    StereoHalves refused;
    refused.problem = std::move(problem);
    return refused;
}

} // namespace

SideBySide makeSideBySide(const StereoPicture& left, const StereoPicture& right,
                          StereoOrder order) {
    PictureCoefficients leftCoefficients;
    PictureCoefficients rightCoefficients;
    // Both opened as streams: only the rows being written are held, and a picture of several
    // scans is read whole.
    if (!leftCoefficients.open(left.bytes))
        return refusedPair(readProblem(left, leftCoefficients));
    if (!rightCoefficients.open(right.bytes))
        return refusedPair(readProblem(right, rightCoefficients));
    if (auto problem = pairProblem(left, leftCoefficients, right, rightCoefficients);
        !problem.empty())
        return refusedPair(problem);

    const bool parallel = order == StereoOrder::parallel;
    const StereoPicture& first = parallel ? left : right;
    PictureCoefficients& firstCoefficients = parallel ? leftCoefficients : rightCoefficients;
    PictureCoefficients& secondCoefficients = parallel ? rightCoefficients : leftCoefficients;
    const jpeg_decompress_struct& info = firstCoefficients.info;
    // The second picture's blocks must begin a column of MCUs: the first picture keeps only its
    // whole columns, every pixel of them as it was.
    const JDIMENSION mcu = mcuWidth(info);
    const JDIMENSION kept = info.image_width - info.image_width % mcu;
    if (kept == 0)
        return refusedPair(first.name + " is narrower than one column of blocks (" +
                           std::to_string(mcu) + " pixels)");
    const std::uint64_t width = std::uint64_t{kept} + secondCoefficients.info.image_width;
    if (width > JPEG_MAX_DIMENSION)
        return refusedPair(left.name + " and " + right.name + " side by side would be " +
                           std::to_string(width) + " pixels wide, more than a JPEG holds (" +
                           std::to_string(JPEG_MAX_DIMENSION) + ")");

    CoefficientPlan plan;
    plan.model = &leftCoefficients;
    plan.width = static_cast<JDIMENSION>(width);
    plan.height = info.image_height;
    for (int ci = 0; ci < info.num_components; ++ci) {
        // Where the pictures' tables differ, ours is their common divisor, step by step: each
        // coefficient times its table's step over ours is then the same value dequantized, so
        // each half decodes to exactly its picture.
        ComponentPlan component;
        const std::array<UINT16, DCTSIZE2> a = tableOf(firstCoefficients, ci);
        const std::array<UINT16, DCTSIZE2> b = tableOf(secondCoefficients, ci);
        for (std::size_t k = 0; k < DCTSIZE2; ++k)
            component.quantization[k] = std::gcd(a[k], b[k]);
        const JDIMENSION firstColumns =
            kept / mcu * static_cast<JDIMENSION>(info.comp_info[ci].h_samp_factor);
        component.runs.push_back(
            blockRun(firstCoefficients, ci, 0, firstColumns, component.quantization));
        component.runs.push_back(blockRun(secondCoefficients, ci, 0,
                                          secondCoefficients.info.comp_info[ci].width_in_blocks,
                                          component.quantization));
        plan.components.push_back(std::move(component));
    }
    plan.exif = exifOfSize(left.bytes, plan.width, plan.height);
    plan.app3 = jpsSegmentData(sideBySideDescriptor(parallel));
    plan.sizeHint = left.bytes.size() + right.bytes.size();

    WrittenJpeg written = writeCoefficients(plan);
    if (written.unreadable == &leftCoefficients)
        return refusedPair(readProblem(left, leftCoefficients));
    if (written.unreadable == &rightCoefficients)
        return refusedPair(readProblem(right, rightCoefficients));
    if (written.outOfRange != nullptr) {
        const std::string& name = written.outOfRange == &leftCoefficients ? left.name : right.name;
        if (written.scaled)
            return refusedPair(left.name + " and " + right.name +
                               " cannot be put side by side exactly: " + name +
                               " has coefficients too large for a baseline JPEG once brought to "
                               "the quantization both pictures share");
        return refusedPair(name + " has coefficients too large for a baseline JPEG");
    }
    if (!written.failure.empty())
        return refusedPair("Cannot write " + left.name + " and " + right.name +
                           " side by side: " + written.failure);
    SideBySide result;
    result.jpeg = std::move(written.jpeg);
    if (kept < info.image_width)
        result.note = first.name + " lost its last " + std::to_string(info.image_width - kept) +
                      " pixel columns: the picture on the left must be whole columns of " +
                      std::to_string(mcu) + "-pixel blocks";
    return result;
}

std::optional<StereoOrder> describedOrder(std::span<const std::uint8_t> jpeg) {
    std::optional<StereoOrder> order;
    if (jpeg.size() < 2 || jpeg[0] != kMarkerByte || jpeg[1] != kStartOfImageMarker)
        return order;
    walkSegments(jpeg, [&](const JpegSegment& segment) {
        if (segment.marker != kApp3Marker)
            return true;
        const auto descriptor =
            readJpsDescriptor(jpeg.subspan(segment.dataOffset, segment.dataLength));
        if (!descriptor)
            return true;
        if (const auto leftFirst = sideBySideLeftFirst(*descriptor))
            order = *leftFirst ? StereoOrder::parallel : StereoOrder::crossEyed;
        return false; // the first descriptor is the one that counts
    });
    return order;
}

StereoHalves cutSideBySide(const StereoPicture& picture, StereoOrder assumed) {
    PictureCoefficients whole;
    if (!whole.read(picture.bytes))
        return refusedCut(readProblem(picture, whole));
    if (auto problem = pictureProblem(picture, whole); !problem.empty())
        return refusedCut(problem);
    const jpeg_decompress_struct& info = whole.info;
    if (info.image_width % 2 != 0)
        return refusedCut(picture.name + " cannot be cut in two halves: it is " +
                          std::to_string(info.image_width) + " pixels wide, an odd number");
    const JDIMENSION half = info.image_width / 2;
    const JDIMENSION mcu = mcuWidth(info);
    if (half % mcu != 0)
        return refusedCut(picture.name + " cannot be cut without decoding it: each half would be " +
                          std::to_string(half) + " pixels wide, not whole columns of " +
                          std::to_string(mcu) + "-pixel blocks");

    const std::vector<std::uint8_t> exif = exifOfSize(picture.bytes, half, info.image_height);
    std::vector<std::uint8_t> sides[2];
    for (int side = 0; side < 2; ++side) {
        CoefficientPlan plan;
        plan.model = &whole;
        plan.width = half;
        plan.height = info.image_height;
        for (int ci = 0; ci < info.num_components; ++ci) {
            ComponentPlan component;
            component.quantization = tableOf(whole, ci);
            const JDIMENSION columns =
                half / mcu * static_cast<JDIMENSION>(info.comp_info[ci].h_samp_factor);
            component.runs.push_back(
                blockRun(whole, ci, side == 0 ? 0 : columns, columns, component.quantization));
            plan.components.push_back(std::move(component));
        }
        plan.exif = exif;
        plan.sizeHint = picture.bytes.size() / 2;
        WrittenJpeg written = writeCoefficients(plan);
        if (written.outOfRange != nullptr)
            return refusedCut(picture.name + " has coefficients too large for a baseline JPEG");
        if (!written.failure.empty())
            return refusedCut("Cannot write the halves of " + picture.name + ": " +
                              written.failure);
        sides[side] = std::move(written.jpeg);
    }
    const bool leftFirst = describedOrder(picture.bytes).value_or(assumed) == StereoOrder::parallel;
    StereoHalves halves;
    halves.left = std::move(sides[leftFirst ? 0 : 1]);
    halves.right = std::move(sides[leftFirst ? 1 : 0]);
    return halves;
}

} // namespace twinframe
