#include "format/jpsDescriptor.h"

#include <algorithm>

namespace twinframe {

std::vector<std::uint8_t> jpsSegmentData(std::uint32_t descriptor) {
    std::vector<std::uint8_t> data(kJpsIdentifier.begin(), kJpsIdentifier.end());
    data.push_back(static_cast<std::uint8_t>(kJpsDescriptorLength >> 8));
    data.push_back(static_cast<std::uint8_t>(kJpsDescriptorLength & 0xFF));
    for (int shift = 24; shift >= 0; shift -= 8)
        data.push_back(static_cast<std::uint8_t>(descriptor >> shift));
    return data;
}

std::optional<std::uint32_t> readJpsDescriptor(std::span<const std::uint8_t> app3Data) {
    const std::size_t identifier = kJpsIdentifier.size();
    if (app3Data.size() < identifier + 2 + kJpsDescriptorLength ||
        !std::equal(kJpsIdentifier.begin(), kJpsIdentifier.end(), app3Data.begin()))
        return std::nullopt;
    // A writer that declares a longer descriptor still begins it with the 32 bits we know.
    const std::size_t length = std::size_t{app3Data[identifier]} << 8 | app3Data[identifier + 1];
    if (length < kJpsDescriptorLength)
        return std::nullopt;
    std::uint32_t descriptor = 0;
    for (std::size_t i = 0; i < kJpsDescriptorLength; ++i)
        descriptor = descriptor << 8 | app3Data[identifier + 2 + i];
    return descriptor;
}

std::optional<bool> sideBySideLeftFirst(std::uint32_t descriptor) {
    if ((descriptor & kJpsMediaTypeMask) != kJpsMediaStereo ||
        (descriptor & kJpsLayoutMask) != kJpsLayoutSideBySide)
        return std::nullopt;
    return (descriptor & kJpsFlagLeftFirst) != 0;
}

} // namespace twinframe
