#include "stereo/pictureCoefficients.h"

#include <jerror.h>

#include <cstring>

namespace twinframe {

namespace {

// The picture's bytes as libjpeg's source, all at hand from the start; our own rather than
// jpeg_mem_src, which a libjpeg built without it lacks.
void startSource(j_decompress_ptr) {}

boolean refillSource(j_decompress_ptr info) {
    // The bytes are all given: libjpeg asks for more only when the picture is cut short. The
    // warning jumps out (JpegErrors); the end marker is what libjpeg's own sources give after it.
    static const JOCTET endOfImage[] = {0xFF, JPEG_EOI};
    WARNMS(info, JWRN_JPEG_EOF);
    info->src->next_input_byte = endOfImage;
    info->src->bytes_in_buffer = sizeof endOfImage;
    return TRUE;
}

void skipSource(j_decompress_ptr info, long count) {
    if (count <= 0)
        return;
    jpeg_source_mgr& source = *info->src;
    while (static_cast<unsigned long>(count) > source.bytes_in_buffer) {
        count -= static_cast<long>(source.bytes_in_buffer);
        refillSource(info);
    }
    source.next_input_byte += count;
    source.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void endSource(j_decompress_ptr) {}

} // namespace

void PictureCoefficients::startReading(std::span<const std::uint8_t> bytes) {
    jpeg_create_decompress(&info);
    if (info.mem->max_memory_to_use == 0 || info.mem->max_memory_to_use > kMaxCoefficientBytes)
        info.mem->max_memory_to_use = kMaxCoefficientBytes;
    source_.bytes = bytes;
    source_.manager.init_source = startSource;
    source_.manager.fill_input_buffer = refillSource;
    source_.manager.skip_input_data = skipSource;
    source_.manager.resync_to_restart = jpeg_resync_to_restart;
    source_.manager.term_source = endSource;
    source_.manager.next_input_byte = bytes.data();
    source_.manager.bytes_in_buffer = bytes.size();
    info.src = &source_.manager;
    jpeg_read_header(&info, TRUE);
}

bool PictureCoefficients::read(std::span<const std::uint8_t> bytes) {
    info.err = errors.use();
    if (setjmp(errors.jump))
        return false;
    startReading(bytes);
    arrays = jpeg_read_coefficients(&info);
    return arrays != nullptr;
}

// Streaming rests on how libjpeg's transcoding decoder works (jdtrans.c, jdcoefct.c):
// jpeg_read_coefficients asks the memory manager for one virtual array a component
// (request_virt_barray, then realize_virt_arrays), then loops, calling the progress monitor
// before each step; in a scan a step decodes one iMCU row into the array, through
// access_virt_barray, writable, at that row, and nothing else touches the arrays. So the arrays
// here are windows of one iMCU row, and the monitor jumps back out of the loop as soon as the
// rows wanted are in: the loop keeps no state of its own between steps, and the next
// jpeg_read_coefficients goes on where it left off.
bool PictureCoefficients::open(std::span<const std::uint8_t> bytes) {
    info.err = errors.use();
    if (setjmp(errors.jump))
        return false;
    startReading(bytes);
    if (jpeg_has_multiple_scans(&info)) {
        arrays = jpeg_read_coefficients(&info);
        return arrays != nullptr;
    }
    streaming_ = true;
    info.client_data = this;
    info.mem->request_virt_barray = requestWindow;
    info.mem->realize_virt_arrays = realizeWindows;
    info.mem->access_virt_barray = accessWindow;
    progress_.progress_monitor = pauseWhenRowsAreIn;
    info.progress = &progress_;
    arrays = windowArrays_;
    readRows(0); // sets the decoder up, and pauses before its first row
    return true;
}

void PictureCoefficients::readRows(JDIMENSION iMcuRows) {
    rowsWanted_ = iMcuRows;
    if (setjmp(pause_) == 0)
        jpeg_read_coefficients(&info); // returns only at the end marker
}

void PictureCoefficients::readToEnd() {
    if (streaming_)
        readRows(static_cast<JDIMENSION>(-1));
}

jvirt_barray_ptr PictureCoefficients::requestWindow(j_common_ptr info, int, boolean,
                                                    JDIMENSION width, JDIMENSION,
                                                    JDIMENSION access) {
    PictureCoefficients& picture = *static_cast<PictureCoefficients*>(info->client_data);
    if (picture.windowCount_ == MAX_COMPONENTS)
        failJpeg(info, JERR_BAD_VIRTUAL_ACCESS);
    const int index = picture.windowCount_++;
    RowWindow& window = picture.windows_[index];
    window.width = width;
    window.rows = access;
    picture.windowArrays_[index] = reinterpret_cast<jvirt_barray_ptr>(&window);
    return picture.windowArrays_[index];
}

void PictureCoefficients::realizeWindows(j_common_ptr info) {
    PictureCoefficients& picture = *static_cast<PictureCoefficients*>(info->client_data);
    for (int index = 0; index < picture.windowCount_; ++index) {
        RowWindow& window = picture.windows_[index];
        window.buffer = (*info->mem->alloc_barray)(info, JPOOL_IMAGE, window.width, window.rows);
    }
}

JBLOCKARRAY PictureCoefficients::accessWindow(j_common_ptr info, jvirt_barray_ptr array,
                                              JDIMENSION first, JDIMENSION count,
                                              boolean writable) {
    RowWindow& window = *reinterpret_cast<RowWindow*>(array);
    if (writable) {
        // The decoder's next row. Its Huffman decoder writes only the coefficients that are not
        // zero: the blocks must start out zero, as libjpeg's own arrays do when asked.
        if (count > window.rows || window.buffer == nullptr)
            failJpeg(info, JERR_BAD_VIRTUAL_ACCESS);
        window.first = first;
        for (JDIMENSION row = 0; row < window.rows; ++row)
            std::memset(window.buffer[row], 0, window.width * sizeof(JBLOCK));
        return window.buffer;
    }
    if (first < window.first || count > window.rows || first - window.first > window.rows - count)
        failJpeg(info, JERR_BAD_VIRTUAL_ACCESS); // a row gone already, or not decoded yet
    return window.buffer + (first - window.first);
}

void PictureCoefficients::pauseWhenRowsAreIn(j_common_ptr info) {
    PictureCoefficients& picture = *static_cast<PictureCoefficients*>(info->client_data);
    if (picture.info.input_iMCU_row >= picture.rowsWanted_)
        std::longjmp(picture.pause_, 1);
}

bool PictureCoefficients::tooLarge() const {
    return errors.code == JERR_NO_BACKING_STORE;
}

const JQUANT_TBL* PictureCoefficients::quantization(int component) const {
    const jpeg_component_info& found = info.comp_info[component];
    // The table as it was when the component's first scan began: a picture may define another
    // table in the same slot later.
    if (found.quant_table != nullptr)
        return found.quant_table;
    if (found.quant_tbl_no < 0 || found.quant_tbl_no >= NUM_QUANT_TBLS)
        return nullptr;
    return info.quant_tbl_ptrs[found.quant_tbl_no];
}

JBLOCKARRAY PictureCoefficients::blockRows(int component, JDIMENSION first, JDIMENSION count) {
    const JDIMENSION row = first / static_cast<JDIMENSION>(info.comp_info[component].v_samp_factor);
    if (streaming_ && info.input_iMCU_row <= row)
        readRows(row + 1);
    return (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info), arrays[component],
                                           first, count, FALSE);
}

} // namespace twinframe
