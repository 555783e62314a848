#pragma once

#include "stereo/jpegLibrary.h"

#include <cstdint>
#include <span>

namespace twinframe {

// A picture read by libjpeg as far as its DCT coefficients: the quantized blocks of each
// component in libjpeg's virtual arrays, and the frame's facts (info.image_width, comp_info, ...).
// Holding one costs what its coefficients take, two bytes a coefficient.
class PictureCoefficients {
  public:
    PictureCoefficients() = default;
    PictureCoefficients(const PictureCoefficients&) = delete;
    PictureCoefficients& operator=(const PictureCoefficients&) = delete;
    ~PictureCoefficients() { jpeg_destroy_decompress(&info); }

    // Reads every scan of the JPEG in bytes (which must outlive this); false when libjpeg cannot,
    // or warns of corrupt data, with errors.text() saying why. One read of the bytes.
    bool read(std::span<const std::uint8_t> bytes);
    // Whether reading failed because the coefficients would take more than kMaxCoefficientBytes
    // (or what the JPEGMEM environment variable allows libjpeg, when that is less).
    bool tooLarge() const;

    // The quantization table (natural order) the component's blocks were quantized with, or
    // null when the picture names a table it never defines.
    const JQUANT_TBL* quantization(int component) const;
    // A component's blocks, block row by block row: a row past its height_in_blocks is not there.
    JBLOCKARRAY blockRows(int component, JDIMENSION first, JDIMENSION count);

    jpeg_decompress_struct info{};
    jvirt_barray_ptr* arrays = nullptr;
    JpegErrors errors{};

    // A crafted header can claim 65500 x 65500 pixels in a few bytes; refusing coefficients over
    // 2 GiB a picture keeps such a file from taking the machine's memory. A camera's largest
    // pictures take a tenth of it.
    static constexpr long kMaxCoefficientBytes = 0x7FFFFFFF;

  private:
    struct Source {
        jpeg_source_mgr manager;
        std::span<const std::uint8_t> bytes;
    };
    Source source_{};
};

} // namespace twinframe
