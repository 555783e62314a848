#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace twinframe {

// The offset of the first image-start signature (FF D8 FF E0 or FF D8 FF E1) lying wholly inside
// the size bytes at data, or size when there is none. Reads nothing outside those bytes.
std::size_t scanSignature(const std::uint8_t* data, std::size_t size);

// Every implementation this processor can run, by name, so tests can hold each to the same
// answers (scanSignature uses the fastest).
struct SignatureScanner {
    const char* name;
    std::size_t (*scan)(const std::uint8_t* data, std::size_t size);
};
std::span<const SignatureScanner> availableSignatureScanners();

} // namespace twinframe
