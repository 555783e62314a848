#include "JpegPictures.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <jpeglib.h>

namespace twinframe::test {

namespace {

// A decoding that fails jumps back here instead of ending the test program.
struct Jump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jumpBack(j_common_ptr info) {
    std::longjmp(reinterpret_cast<Jump*>(info->err)->jump, 1);
}

void putBig(std::vector<std::uint8_t>& out, std::uint32_t value, int size, ByteOrder order) {
    for (int i = 0; i < size; ++i) {
        const int shift = order == ByteOrder::bigEndian ? 8 * (size - 1 - i) : 8 * i;
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

// "Exif\0\0", then a TIFF structure: IFD0 with only the Exif IFD pointer, and the Exif IFD with
// the two dimensions, SHORT or LONG, left-justified in their value fields.
std::vector<std::uint8_t> exifData(const ExifRecipe& recipe) {
    const ByteOrder order = recipe.order;
    const std::uint8_t mark = order == ByteOrder::bigEndian ? 'M' : 'I';
    std::vector<std::uint8_t> out{'E', 'x', 'i', 'f', 0, 0, mark, mark};
    putBig(out, 42, 2, order);
    putBig(out, 8, 4, order);
    const auto entry = [&](std::uint32_t tag, std::uint32_t type, std::uint32_t value) {
        putBig(out, tag, 2, order);
        putBig(out, type, 2, order);
        putBig(out, 1, 4, order);
        putBig(out, value, type == 3 ? 2 : 4, order);
        if (type == 3)
            putBig(out, 0, 2, order);
    };
    putBig(out, 1, 2, order);
    entry(0x8769, 4, 8 + 18); // the Exif IFD follows IFD0
    putBig(out, 0, 4, order);
    const std::uint32_t type = recipe.longDimensions ? 4 : 3;
    putBig(out, 2, 2, order);
    entry(0xA002, type, recipe.width);
    entry(0xA003, type, recipe.height);
    putBig(out, 0, 4, order);
    return out;
}

std::uint32_t get(std::span<const std::uint8_t> bytes, std::size_t at, int size, bool big) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
        const std::size_t from =
            big ? at + static_cast<std::size_t>(i) : at + static_cast<std::size_t>(size - 1 - i);
        value = value << 8 | (from < bytes.size() ? bytes[from] : 0);
    }
    return value;
}

} // namespace

Pixels Pixels::columns(int first, int count) const {
    Pixels part{count, height, components, {}};
    for (int y = 0; y < height; ++y) {
        const auto row = samples.begin() + (y * width + first) * components;
        part.samples.insert(part.samples.end(), row, row + count * components);
    }
    return part;
}

Pixels madeUpPixels(int width, int height, int components, std::uint32_t seed) {
    Pixels pixels{width, height, components, {}};
    std::uint32_t noise = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c) {
                noise = noise * 1664525u + 1013904223u;
                const int edge = ((x / 7 + y / 5 + c + static_cast<int>(seed)) % 3) * 60;
                const int value =
                    (x * (3 + c) + y * (5 - c)) % 128 + edge + static_cast<int>(noise >> 28);
                pixels.samples.push_back(static_cast<std::uint8_t>(value % 256));
            }
    return pixels;
}

std::vector<std::uint8_t> encodeJpeg(const Pixels& pixels, const JpegRecipe& recipe) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors); // a failure here is the test's own fault: exit is fine
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    const bool grey = recipe.sampling == Sampling::grey;
    info.image_width = static_cast<JDIMENSION>(pixels.width);
    info.image_height = static_cast<JDIMENSION>(pixels.height);
    info.input_components = pixels.components;
    info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    if (recipe.table) {
        for (int slot = 0; slot < 2; ++slot)
            jpeg_add_quant_table(&info, slot, recipe.table->data(), 100, TRUE);
    } else {
        jpeg_set_quality(&info, recipe.quality, TRUE);
    }
    if (!grey) {
        info.comp_info[0].h_samp_factor = recipe.sampling == Sampling::s444 ? 1 : 2;
        info.comp_info[0].v_samp_factor = recipe.sampling == Sampling::s420 ? 2 : 1;
    }
    if (recipe.oneTableSlot)
        for (int ci = 0; ci < info.num_components; ++ci)
            info.comp_info[ci].quant_tbl_no = 0;
    if (recipe.progressive)
        jpeg_simple_progression(&info);
    info.restart_interval = recipe.restartInterval;
    info.write_JFIF_header = recipe.exif ? FALSE : TRUE;
    jpeg_start_compress(&info, TRUE);
    if (recipe.exif) {
        const std::vector<std::uint8_t> exif = exifData(*recipe.exif);
        jpeg_write_marker(&info, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    }
    const std::size_t stride = static_cast<std::size_t>(pixels.width * pixels.components);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.samples.data() + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> jpeg(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return jpeg;
}

std::vector<std::uint8_t> withFirstAcCoefficient(std::span<const std::uint8_t> jpeg, int value) {
    jpeg_decompress_struct source{};
    jpeg_compress_struct crafted{};
    jpeg_error_mgr errors{};
    source.err = jpeg_std_error(&errors);
    crafted.err = &errors;
    jpeg_create_decompress(&source);
    jpeg_create_compress(&crafted);
    jpeg_mem_src(&source, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&source, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&source);
    JBLOCKARRAY rows = (*source.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&source),
                                                         arrays[0], 0, 1, TRUE);
    rows[0][0][1] = static_cast<JCOEF>(value);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&crafted, &buffer, &size);
    jpeg_copy_critical_parameters(&source, &crafted);
    crafted.arith_code = TRUE;
    jpeg_write_coefficients(&crafted, arrays);
    jpeg_finish_compress(&crafted);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    jpeg_destroy_compress(&crafted);
    jpeg_destroy_decompress(&source);
    std::free(buffer);
    return bytes;
}

namespace {

// Only trivially destructible objects live across the setjmp.
bool decodeInto(jpeg_decompress_struct& info, Jump& errors, std::span<const std::uint8_t> jpeg,
                Pixels& pixels) {
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jumpBack;
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&info, TRUE);
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    pixels.width = static_cast<int>(info.output_width);
    pixels.height = static_cast<int>(info.output_height);
    pixels.components = info.output_components;
    const std::size_t stride = info.output_width * static_cast<std::size_t>(pixels.components);
    pixels.samples.resize(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.samples.data() + info.output_scanline * stride;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

Pixels decodeJpeg(std::span<const std::uint8_t> jpeg) {
    jpeg_decompress_struct info{};
    Jump errors{};
    Pixels pixels;
    if (!decodeInto(info, errors, jpeg, pixels))
        pixels = Pixels{};
    jpeg_destroy_decompress(&info);
    return pixels;
}

std::vector<std::vector<std::uint8_t>> segmentsWithMarker(std::span<const std::uint8_t> jpeg,
                                                          std::uint8_t marker) {
    std::vector<std::vector<std::uint8_t>> found;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        const std::size_t length = std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
        if (length < 2 || at + 2 + length > jpeg.size())
            break;
        if (jpeg[at + 1] == marker)
            found.emplace_back(jpeg.begin() + static_cast<std::ptrdiff_t>(at + 4),
                               jpeg.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
        at += 2 + length;
    }
    return found;
}

std::vector<std::uint8_t> exifSegmentData(const ExifRecipe& recipe) {
    return exifData(recipe);
}

std::optional<ExifDimensions> readExifDimensions(std::span<const std::uint8_t> jpeg) {
    for (const std::vector<std::uint8_t>& data : segmentsWithMarker(jpeg, 0xE1))
        if (const auto found = readExifDataDimensions(data))
            return found;
    return std::nullopt;
}

std::optional<ExifDimensions> readExifDataDimensions(std::span<const std::uint8_t> data) {
    if (data.size() < 14 || std::string_view(reinterpret_cast<const char*>(data.data()), 6) !=
                                std::string_view("Exif\0\0", 6))
        return std::nullopt;
    const std::span<const std::uint8_t> tiff = data.subspan(6);
    const bool big = tiff[0] == 'M';
    // The entry of tag in the IFD at ifd: its offset, or 0.
    const auto find = [&](std::size_t ifd, std::uint32_t tag) -> std::size_t {
        const std::uint32_t count = get(tiff, ifd, 2, big);
        for (std::size_t i = 0; i < count; ++i)
            if (get(tiff, ifd + 2 + 12 * i, 2, big) == tag)
                return ifd + 2 + 12 * i;
        return 0;
    };
    const std::size_t pointer = find(get(tiff, 4, 4, big), 0x8769);
    const std::size_t exifIfd = pointer ? get(tiff, pointer + 8, 4, big) : 0;
    const std::size_t x = exifIfd ? find(exifIfd, 0xA002) : 0;
    const std::size_t y = exifIfd ? find(exifIfd, 0xA003) : 0;
    if (x == 0 || y == 0)
        return std::nullopt;
    const bool xLong = get(tiff, x + 2, 2, big) == 4;
    const bool yLong = get(tiff, y + 2, 2, big) == 4;
    return ExifDimensions{get(tiff, x + 8, xLong ? 4 : 2, big),
                          get(tiff, y + 8, yLong ? 4 : 2, big), xLong, yLong};
}

} // namespace twinframe::test
