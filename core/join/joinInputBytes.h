#pragma once

#include "platform/blockReader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <system_error>
#include <vector>

namespace twinframe {

// The join's reading of its inputs a block at a time, through the platform's block reader (which
// copies their byte ranges to the joined file too).

// How much of an input is held at a time while it is read: small enough for the processor's
// cache, large enough that a header segment (at most 64 KiB) always fits.
inline constexpr std::size_t kJoinBlockSize = 256 * 1024;

// An input of a join as its reading sees it: bytes in memory (tests, the fuzzer, the page), or
// a file fetched one block at a time, so that only a block of it is ever held whatever its size.
class JoinInputBytes {
  public:
    // Fills data with size bytes from offset on, telling in got how many there were.
    using Fetch = std::function<std::error_code(std::uint64_t offset, std::uint8_t* data,
                                                std::size_t size, std::size_t& got)>;

    explicit JoinInputBytes(std::span<const std::uint8_t> bytes);
    JoinInputBytes(std::uint64_t size, Fetch fetch, std::size_t blockSize = kJoinBlockSize);

    std::uint64_t size() const { return size_; }

    // Bytes from offset on: at least min(wanted, size() - offset) of them, often more. Empty at
    // or past the end, and when a fetch failed or came short (error() then says why).
    std::span<const std::uint8_t> at(std::uint64_t offset, std::size_t wanted);
    std::error_code error() const { return error_; }

  private:
    std::span<const std::uint8_t> inMemory_;
    std::uint64_t size_ = 0;
    Fetch fetch_;
    BlockReader reader_;
    std::error_code error_;
};

} // namespace twinframe
