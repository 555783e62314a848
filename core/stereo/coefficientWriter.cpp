#include "stereo/coefficientWriter.h"

#include <jerror.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace twinframe {

namespace {

// The coefficient limits of a baseline JPEG of 8-bit samples: an AC coefficient takes at most
// 10 bits of magnitude. A DC coefficient is coded as the difference from the one before it,
// which takes at most 11; keeping every DC in [-1024, 1023] keeps each difference within it.
// libjpeg checks these only in the pass that gathers statistics for optimized tables, which we do
// not make: its coding pass would write a larger value wrong without a word. Every coefficient
// is checked here, scaled or not (a crafted picture may hold any value libjpeg can decode).
constexpr int kMaxAc = 1023;
constexpr int kMinDc = -1024;
constexpr int kMaxDc = 1023;

// Stands in for a virtual array of the output's coefficients (see assembleRows).
struct AssembledComponent {
    const ComponentPlan* plan;
    JDIMENSION width;   // in blocks
    JDIMENSION rows;    // block rows libjpeg asks for at once: the component's v_samp_factor
    JBLOCKARRAY buffer; // that many rows of blocks
};

// The JPEG's bytes in a vector that grows as libjpeg writes.
struct VectorDestination {
    jpeg_destination_mgr manager;
    std::vector<std::uint8_t>* bytes;
};

// The pictures a plan takes its blocks from, each once, with the error manager each had before
// the write.
using Readers = std::vector<std::pair<PictureCoefficients*, jpeg_error_mgr*>>;

struct WriterState {
    jpeg_compress_struct info;
    JpegErrors errors;
    VectorDestination destination;
    AssembledComponent components[MAX_COMPONENTS];
    jvirt_barray_ptr placeholders[MAX_COMPONENTS];
    const PictureCoefficients* outOfRange;
    bool scaled;
    PictureCoefficients* reading; // the picture being decoded, while one is
};

void startDestination(j_compress_ptr info) {
    std::vector<std::uint8_t>& bytes = *reinterpret_cast<VectorDestination*>(info->dest)->bytes;
    info->dest->next_output_byte = bytes.data();
    info->dest->free_in_buffer = bytes.size();
}

boolean growDestination(j_compress_ptr info) {
    std::vector<std::uint8_t>& bytes = *reinterpret_cast<VectorDestination*>(info->dest)->bytes;
    const std::size_t used = bytes.size();
    bool grown = true;
    try {
        bytes.resize(used + used / 2 + 4096);
    } catch (const std::bad_alloc&) {
        grown = false;
    }
    if (!grown)
        failJpeg(reinterpret_cast<j_common_ptr>(info), JERR_OUT_OF_MEMORY);
    info->dest->next_output_byte = bytes.data() + used;
    info->dest->free_in_buffer = bytes.size() - used;
    return TRUE;
}

void endDestination(j_compress_ptr info) {
    std::vector<std::uint8_t>& bytes = *reinterpret_cast<VectorDestination*>(info->dest)->bytes;
    bytes.resize(bytes.size() - info->dest->free_in_buffer); // smaller: cannot throw
}

// Copies count blocks, each coefficient times its scale; false when one does not fit.
bool copyBlocks(const JBLOCK* from, JBLOCK* to, JDIMENSION count, const BlockRun& run) {
    bool fits = true;
    for (JDIMENSION block = 0; block < count; ++block) {
        const int dc = from[block][0] * run.scale[0];
        fits &= dc >= kMinDc && dc <= kMaxDc;
        to[block][0] = static_cast<JCOEF>(dc);
        for (int k = 1; k < DCTSIZE2; ++k) {
            const int ac = from[block][k] * run.scale[static_cast<std::size_t>(k)];
            fits &= ac >= -kMaxAc && ac <= kMaxAc;
            to[block][k] = static_cast<JCOEF>(ac);
        }
    }
    return fits;
}

// The output's coefficients are never held whole: that would double the memory the pictures
// already take. libjpeg's transcoding coefficient controller (jctrans.c, compress_output) reads
// the arrays handed to jpeg_write_coefficients only through the memory manager's
// access_virt_barray, one iMCU row at a time: v_samp_factor block rows of a component, starting
// at iMCU row * v_samp_factor, never to write, and it touches the arrays nowhere else (not even to
// realize them: they are not its own). So the arrays we hand it are placeholders, each an
// AssembledComponent, and this function, put in place of the output's access_virt_barray, builds
// each requested row from the pictures' blocks into a buffer of one iMCU row.
JBLOCKARRAY assembleRows(j_common_ptr info, jvirt_barray_ptr array, JDIMENSION first,
                         JDIMENSION count, boolean) {
    WriterState& state = *static_cast<WriterState*>(info->client_data);
    const AssembledComponent& component = *reinterpret_cast<AssembledComponent*>(array);
    if (count > component.rows)
        failJpeg(info, JERR_BAD_VIRTUAL_ACCESS);
    JDIMENSION column = 0;
    for (const BlockRun& run : component.plan->runs) {
        PictureCoefficients& picture = *run.picture;
        const JDIMENSION height = picture.info.comp_info[run.component].height_in_blocks;
        const JDIMENSION there = first < height ? std::min(count, height - first) : 0;
        state.reading = &picture;
        const JBLOCKARRAY from =
            there > 0 ? picture.blockRows(run.component, first, there) : nullptr;
        state.reading = nullptr;
        for (JDIMENSION row = 0; row < count; ++row) {
            JBLOCK* to = component.buffer[row] + column;
            if (row >= there) { // below the picture: rows libjpeg asks for and never codes
                std::memset(to, 0, run.columns * sizeof(JBLOCK));
            } else if (!copyBlocks(from[row] + run.firstColumn, to, run.columns, run)) {
                state.outOfRange = run.picture;
                state.scaled = run.scaled;
                std::longjmp(state.errors.jump, 1);
            }
        }
        column += run.columns;
    }
    return component.buffer;
}

void setParameters(WriterState& state, const CoefficientPlan& plan) {
    jpeg_compress_struct& info = state.info;
    const jpeg_decompress_struct& model = plan.model->info;
    info.image_width = plan.width;
    info.image_height = plan.height;
    info.input_components = model.num_components;
    info.in_color_space = model.jpeg_color_space;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, model.jpeg_color_space); // the JFIF or Adobe segment it needs
    if (info.num_components != static_cast<int>(plan.components.size()))
        failJpeg(reinterpret_cast<j_common_ptr>(&info), JERR_COMPONENT_COUNT);
    for (int ci = 0; ci < info.num_components; ++ci) {
        jpeg_component_info& component = info.comp_info[ci];
        component.component_id = model.comp_info[ci].component_id;
        component.h_samp_factor = model.comp_info[ci].h_samp_factor;
        component.v_samp_factor = model.comp_info[ci].v_samp_factor;
        // A table slot of its own: two components that share a slot in the pictures may need
        // different tables once the pictures' tables are brought to a common divisor.
        component.quant_tbl_no = ci;
        JQUANT_TBL*& table = info.quant_tbl_ptrs[ci];
        if (table == nullptr)
            table = jpeg_alloc_quant_table(reinterpret_cast<j_common_ptr>(&info));
        const auto& values = plan.components[static_cast<std::size_t>(ci)].quantization;
        std::copy(values.begin(), values.end(), table->quantval);
        table->sent_table = FALSE;
    }
    info.optimize_coding = FALSE; // libjpeg's standard tables code every symbol: one pass
    if (!plan.exif.empty())
        info.write_JFIF_header = FALSE; // an Exif picture has no JFIF segment
    if (model.saw_JFIF_marker) {
        info.density_unit = model.density_unit;
        info.X_density = model.X_density;
        info.Y_density = model.Y_density;
    }
}

// Everything libjpeg does for the write, between its setjmp and the jumps back to it: no C++
// object with a destructor lives in this frame.
bool write(WriterState& state, const CoefficientPlan& plan, const Readers& readers) {
    jpeg_compress_struct& info = state.info;
    info.err = state.errors.use();
    if (setjmp(state.errors.jump))
        return false;
    jpeg_create_compress(&info);
    info.client_data = &state;
    info.dest = &state.destination.manager;
    setParameters(state, plan);
    for (int ci = 0; ci < info.num_components; ++ci) {
        state.components[ci].plan = &plan.components[static_cast<std::size_t>(ci)];
        state.placeholders[ci] = reinterpret_cast<jvirt_barray_ptr>(&state.components[ci]);
    }
    jpeg_write_coefficients(&info, state.placeholders);
    const auto common = reinterpret_cast<j_common_ptr>(&info);
    for (int ci = 0; ci < info.num_components; ++ci) {
        AssembledComponent& component = state.components[ci];
        JDIMENSION width = 0;
        for (const BlockRun& run : component.plan->runs)
            width += run.columns;
        // The runs must be exactly the blocks libjpeg codes, or it would read past our buffer.
        if (width != info.comp_info[ci].width_in_blocks)
            failJpeg(common, JERR_BAD_VIRTUAL_ACCESS);
        component.width = width;
        component.rows = static_cast<JDIMENSION>(info.comp_info[ci].v_samp_factor);
        component.buffer = (*info.mem->alloc_barray)(common, JPOOL_IMAGE, width, component.rows);
    }
    info.mem->access_virt_barray = assembleRows;
    if (!plan.exif.empty())
        jpeg_write_marker(&info, JPEG_APP0 + 1, plan.exif.data(),
                          static_cast<unsigned int>(plan.exif.size()));
    if (!plan.app3.empty())
        jpeg_write_marker(&info, JPEG_APP0 + 3, plan.app3.data(),
                          static_cast<unsigned int>(plan.app3.size()));
    jpeg_finish_compress(&info);
    for (const auto& reader : readers) {
        state.reading = reader.first;
        reader.first->readToEnd();
    }
    state.reading = nullptr;
    return true;
}

} // namespace

WrittenJpeg writeCoefficients(const CoefficientPlan& plan) {
    WrittenJpeg written;
    WriterState state{};
    // The vector grows when the hint falls short.
    written.jpeg.resize(std::max<std::size_t>(plan.sizeHint, 4096));
    state.destination.bytes = &written.jpeg;
    state.destination.manager.init_destination = startDestination;
    state.destination.manager.empty_output_buffer = growDestination;
    state.destination.manager.term_destination = endDestination;
    // While writing, a failure in reading a picture's blocks jumps to this write, not to the
    // read that is long over. Each picture once: a cut takes every run from the same one.
    Readers readers;
    for (const ComponentPlan& component : plan.components)
        for (const BlockRun& run : component.runs)
            if (std::none_of(readers.begin(), readers.end(),
                             [&](const auto& reader) { return reader.first == run.picture; }))
                readers.emplace_back(run.picture, run.picture->info.err);
    for (const auto& [picture, errors] : readers)
        picture->info.err = &state.errors.manager;
    const bool done = write(state, plan, readers);
    for (const auto& [picture, errors] : readers)
        picture->info.err = errors;
    jpeg_destroy_compress(&state.info);
    if (!done) {
        written.jpeg.clear();
        written.outOfRange = state.outOfRange;
        written.scaled = state.scaled;
        written.unreadable = state.reading;
        if (state.reading != nullptr) { // the picture's own reason, as if it had been read whole
            state.reading->errors.code = state.errors.code;
            std::memcpy(state.reading->errors.reason, state.errors.reason,
                        sizeof state.errors.reason);
        } else if (state.outOfRange == nullptr)
            written.failure = state.errors.text();
    }
    return written;
}

} // namespace twinframe
