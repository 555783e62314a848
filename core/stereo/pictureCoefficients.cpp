#include "stereo/pictureCoefficients.h"

#include <jerror.h>

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

bool PictureCoefficients::read(std::span<const std::uint8_t> bytes) {
    info.err = errors.use();
    if (setjmp(errors.jump))
        return false;
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
    arrays = jpeg_read_coefficients(&info);
    return arrays != nullptr;
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
    return (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info), arrays[component],
                                           first, count, FALSE);
}

} // namespace twinframe
