#include "format/exifDimensions.h"

#include "format/jpegSegments.h"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace twinframe {

namespace {

constexpr std::uint16_t kExifIfdPointer = 0x8769;
constexpr std::uint16_t kPixelXDimension = 0xA002;
constexpr std::uint16_t kPixelYDimension = 0xA003;
constexpr std::uint16_t kShortType = 3;
constexpr std::uint16_t kLongType = 4;
constexpr std::size_t kIfdEntrySize = 12;

// The TIFF structure after "Exif\0\0", read and written in its own byte order; every access is
// checked against its end.
class Tiff {
  public:
    explicit Tiff(std::span<std::uint8_t> bytes) : bytes_(bytes) {}

    bool readByteOrder() {
        if (bytes_.size() < 8)
            return false;
        if (bytes_[0] == 'I' && bytes_[1] == 'I')
            bigEndian_ = false;
        else if (bytes_[0] == 'M' && bytes_[1] == 'M')
            bigEndian_ = true;
        else
            return false;
        return get16(2) == 42;
    }

    std::optional<std::uint32_t> get(std::size_t offset, std::size_t size) const {
        if (offset > bytes_.size() || size > bytes_.size() - offset)
            return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t at = bigEndian_ ? offset + i : offset + size - 1 - i;
            value = value << 8 | bytes_[at];
        }
        return value;
    }
    std::uint32_t get16(std::size_t offset) const { return get(offset, 2).value_or(0); }

    // Only called where get has checked the place.
    void put(std::size_t offset, std::size_t size, std::uint32_t value) {
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t at = bigEndian_ ? offset + size - 1 - i : offset + i;
            bytes_[at] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }

    // The offset of the entry for tag in the IFD at ifd, when the IFD lies whole in the bytes.
    std::optional<std::size_t> findEntry(std::size_t ifd, std::uint16_t tag) const {
        const auto count = get(ifd, 2);
        if (!count || *count * kIfdEntrySize > bytes_.size() - ifd - 2)
            return std::nullopt;
        for (std::size_t i = 0; i < *count; ++i) {
            const std::size_t entry = ifd + 2 + i * kIfdEntrySize;
            if (get16(entry) == tag)
                return entry;
        }
        return std::nullopt;
    }

    // Sets a tag of one SHORT or LONG to value, the SHORT made a LONG when value needs it.
    void setDimension(std::size_t ifd, std::uint16_t tag, std::uint32_t value) {
        const auto entry = findEntry(ifd, tag);
        if (!entry || get(*entry + 4, 4) != 1u)
            return;
        const std::uint32_t type = get16(*entry + 2);
        if (type == kShortType && value <= 0xFFFF) {
            put(*entry + 8, 2, value);
        } else if (type == kShortType || type == kLongType) {
            put(*entry + 2, 2, kLongType);
            put(*entry + 8, 4, value);
        }
    }

  private:
    std::span<std::uint8_t> bytes_;
    bool bigEndian_ = false;
};

} // namespace

std::vector<std::uint8_t> exifWithDimensions(std::span<const std::uint8_t> app1Data,
                                             std::uint32_t width, std::uint32_t height) {
    std::vector<std::uint8_t> data(app1Data.begin(), app1Data.end());
    if (data.size() < kExifIdentifier.size() ||
        !std::equal(kExifIdentifier.begin(), kExifIdentifier.end(), data.begin()))
        return data;
    Tiff tiff(std::span<std::uint8_t>(data).subspan(kExifIdentifier.size()));
    if (!tiff.readByteOrder())
        return data;
    const auto ifd0 = tiff.get(4, 4);
    const auto pointer = ifd0 ? tiff.findEntry(*ifd0, kExifIfdPointer) : std::nullopt;
    const auto exifIfd = pointer ? tiff.get(*pointer + 8, 4) : std::nullopt;
    if (!exifIfd)
        return data;
    tiff.setDimension(*exifIfd, kPixelXDimension, width);
    tiff.setDimension(*exifIfd, kPixelYDimension, height);
    return data;
}

} // namespace twinframe
