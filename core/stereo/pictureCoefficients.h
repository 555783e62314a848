#pragma once

#include "stereo/jpegLibrary.h"

#include <cstdint>
#include <span>

namespace twinframe {

// A picture read by libjpeg as far as its DCT coefficients: the quantized blocks of each
// component, and the frame's facts (info.image_width, comp_info, ...). Read whole, it holds every
// block in libjpeg's virtual arrays, two bytes a coefficient. Opened as a stream, it holds one
// iMCU row of blocks a component and decodes the next row when it is asked for.
class PictureCoefficients {
  public:
    PictureCoefficients() = default;
    PictureCoefficients(const PictureCoefficients&) = delete;
    PictureCoefficients& operator=(const PictureCoefficients&) = delete;
    ~PictureCoefficients() { jpeg_destroy_decompress(&info); }

    // Reads every scan of the JPEG in bytes (which must outlive this); false when libjpeg cannot,
    // or warns of corrupt data, with errors.text() saying why. One read of the bytes.
    bool read(std::span<const std::uint8_t> bytes);
    // Reads the JPEG's header and gets ready to give its block rows in order, top to bottom, each
    // decoded when blockRows first asks for it: for a picture of one scan, what a camera writes.
    // A picture of several scans (progressive) has no row whole before its last scan, and is read
    // whole here. False when libjpeg cannot read the header, with errors.text() saying why;
    // problems in the compressed data come out of blockRows and readToEnd, through the error
    // manager then in info.err.
    bool open(std::span<const std::uint8_t> bytes);
    // Reads what is left of an opened picture, up to its end marker, so that data cut short or
    // corrupt after the last row refuses the picture as it would a picture read whole.
    void readToEnd();
    // Whether reading failed because the coefficients would take more than kMaxCoefficientBytes
    // (or what the JPEGMEM environment variable allows libjpeg, when that is less).
    bool tooLarge() const;

    // The quantization table (natural order) the component's blocks were quantized with, or
    // null when the picture names a table it never defines.
    const JQUANT_TBL* quantization(int component) const;
    // A component's blocks, block row by block row: a row past its height_in_blocks is not there.
    // Opened as a stream, first must begin an iMCU row (a multiple of the component's
    // v_samp_factor) at or after the last one asked for, and count be at most v_samp_factor:
    // rows before it are gone.
    JBLOCKARRAY blockRows(int component, JDIMENSION first, JDIMENSION count);

    jpeg_decompress_struct info{};
    jvirt_barray_ptr* arrays = nullptr;
    JpegErrors errors{};

    // A crafted header can claim 65500 x 65500 pixels in a few bytes; refusing coefficients over
    // 2 GiB a picture keeps such a file from taking the machine's memory. A camera's largest
    // pictures take a tenth of it.
    static constexpr long kMaxCoefficientBytes = 0x7FFFFFFF;

  private:
    // One iMCU row of a component's blocks, in place of its virtual array when streaming.
    struct RowWindow {
        JDIMENSION width = 0; // blocks a row
        JDIMENSION rows = 0;  // the rows libjpeg asks for at once
        JDIMENSION first = 0; // the picture's block row at the window's top
        JBLOCKARRAY buffer = nullptr;
    };
    struct Source {
        jpeg_source_mgr manager;
        std::span<const std::uint8_t> bytes;
    };
    void startReading(std::span<const std::uint8_t> bytes);
    void readRows(JDIMENSION iMcuRows);

    Source source_{};
    bool streaming_ = false;
    jpeg_progress_mgr progress_{};
    std::jmp_buf pause_{};
    JDIMENSION rowsWanted_ = 0; // iMCU rows to have decoded before the stream pauses
    RowWindow windows_[MAX_COMPONENTS]{};
    jvirt_barray_ptr windowArrays_[MAX_COMPONENTS]{};
    int windowCount_ = 0;

    // libjpeg's memory manager and progress monitor, put in place when streaming.
    static jvirt_barray_ptr requestWindow(j_common_ptr info, int pool, boolean zeroed,
                                          JDIMENSION width, JDIMENSION rows, JDIMENSION access);
    static void realizeWindows(j_common_ptr info);
    static JBLOCKARRAY accessWindow(j_common_ptr info, jvirt_barray_ptr array, JDIMENSION first,
                                    JDIMENSION count, boolean writable);
    static void pauseWhenRowsAreIn(j_common_ptr info);
};

} // namespace twinframe
