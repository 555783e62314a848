#pragma once

#include "platform/fileSystem.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <system_error>

namespace twinframe {

// A file read one block at a time, and the copy of its byte ranges to another file: the split's
// scan and the join's reading of its inputs read through it, and both copy through it what the
// kernel cannot copy for them.
class BlockReader {
  public:
    // Fills data with size bytes from offset on, telling in got how many there were: a source
    // other than an open file (a test's, or one that fails on purpose).
    using Fetch = std::function<std::error_code(std::int64_t offset, std::uint8_t* data,
                                                std::size_t size, std::size_t& got)>;

    // The buffer is taken only when first read into.
    explicit BlockReader(std::size_t blockSize);
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    // How much is read at a time; at least 16 bytes, so that every block moves a scan on.
    void setBlockSize(std::size_t bytes);
    std::size_t blockSize() const { return blockSize_; }

    // Reads the block at offset of a file of length bytes: blockSize() bytes, or wanted when
    // that is more, or as many as are left before length. Fewer arriving means the file shrank
    // since it was opened (Refusal::inputChanged). On failure the reader holds nothing.
    std::error_code load(NativeFile file, std::int64_t offset, std::int64_t length,
                         std::size_t wanted = 0);
    std::error_code load(const Fetch& fetch, std::int64_t offset, std::int64_t length,
                         std::size_t wanted = 0);

    // The block last loaded, from start() on.
    std::int64_t start() const { return start_; }
    std::span<const std::uint8_t> bytes() const { return {data_.get(), length_}; }
    // Whether the block holds all count bytes from offset on.
    bool holds(std::int64_t offset, std::size_t count) const {
        return offset >= start_ && offset + static_cast<std::int64_t>(count) <=
                                       start_ + static_cast<std::int64_t>(length_);
    }
    void forget() { length_ = 0; }
    // Trades blocks, buffers and block sizes with other.
    void swap(BlockReader& other) noexcept;

    // Appends bytes first to first + count - 1 of input to output, in the kernel where the
    // platform can copy between these two files, else through the block (which then holds
    // nothing). The input coming to its end first means it shrank (Refusal::inputChanged).
    std::error_code copy(NativeFile input, std::int64_t first, std::int64_t count,
                         NativeFile output);

  private:
    template <typename Read>
    std::error_code loadWith(const Read& read, std::int64_t offset, std::int64_t length,
                             std::size_t wanted);
    std::uint8_t* room(std::size_t size);

    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t capacity_ = 0;
    std::size_t blockSize_;
    std::int64_t start_ = 0;
    std::size_t length_ = 0;
};

} // namespace twinframe
