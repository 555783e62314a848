#include "format/exifWriter.h"

#include "format/jpegSegments.h"
#include "format/tiffWriter.h"

namespace twinframe {

namespace {

// IFD0 tags.
constexpr std::uint16_t kXResolution = 0x011A;
constexpr std::uint16_t kYResolution = 0x011B;
constexpr std::uint16_t kResolutionUnit = 0x0128;
constexpr std::uint16_t kYCbCrPositioning = 0x0213;
constexpr std::uint16_t kExifIfdPointer = 0x8769;
// Exif IFD tags.
constexpr std::uint16_t kExifVersion = 0x9000;
constexpr std::uint16_t kComponentsConfiguration = 0x9101;
constexpr std::uint16_t kFlashpixVersion = 0xA000;
constexpr std::uint16_t kColorSpace = 0xA001;
constexpr std::uint16_t kPixelXDimension = 0xA002;
constexpr std::uint16_t kPixelYDimension = 0xA003;

} // namespace

std::vector<std::uint8_t> minimalExifSegment(std::uint32_t width, std::uint32_t height) {
    tiff::Bytes tiff = tiff::tiffHeader();
    const std::size_t next =
        tiff::appendIfd(tiff, {tiff::rational1(kXResolution, TiffType::rational, 72, 1),
                               tiff::rational1(kYResolution, TiffType::rational, 72, 1),
                               tiff::short1(kResolutionUnit, 2),   // inches
                               tiff::short1(kYCbCrPositioning, 1), // chroma samples centred
                               tiff::long1(kExifIfdPointer, 0)});
    // The Exif IFD pointer is the IFD0 entry just before the next-IFD offset.
    tiff::set32(tiff, next - 4, static_cast<std::uint32_t>(tiff.size()));
    tiff::appendIfd(tiff, {tiff::text4(kExifVersion, "0230"),
                           {kComponentsConfiguration, TiffType::undefined, 4,
                            tiff::Bytes{1, 2, 3, 0}}, // Y, Cb, Cr
                           tiff::text4(kFlashpixVersion, "0100"),
                           tiff::short1(kColorSpace, 1), // sRGB
                           tiff::long1(kPixelXDimension, width),
                           tiff::long1(kPixelYDimension, height)});
    return tiff::segment(kApp1Marker, kExifIdentifier, tiff);
}

} // namespace twinframe
