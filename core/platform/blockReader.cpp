#include "platform/blockReader.h"

#include "platform/failure.h"

#include <algorithm>
#include <utility>

namespace twinframe {

BlockReader::BlockReader(std::size_t blockSize)
    : blockSize_(std::max<std::size_t>(blockSize, 16)) {}

void BlockReader::setBlockSize(std::size_t bytes) {
    blockSize_ = std::max<std::size_t>(bytes, 16);
    data_.reset();
    capacity_ = 0;
    length_ = 0;
}

void BlockReader::swap(BlockReader& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(capacity_, other.capacity_);
    std::swap(blockSize_, other.blockSize_);
    std::swap(start_, other.start_);
    std::swap(length_, other.length_);
}

std::uint8_t* BlockReader::room(std::size_t size) {
    if (capacity_ < size) {
        data_ = uninitialisedBuffer(size);
        capacity_ = size;
    }
    return data_.get();
}

template <typename Read>
std::error_code BlockReader::loadWith(const Read& read, std::int64_t offset, std::int64_t length,
                                      std::size_t wanted) {
    start_ = offset;
    length_ = 0;
    const auto size = static_cast<std::size_t>(std::min<std::int64_t>(
        static_cast<std::int64_t>(std::max(blockSize_, wanted)), length - offset));
    std::size_t got = 0;
    if (const std::error_code error = read(room(size), size, got))
        return error;
    if (got < size)
        return make_error_code(Refusal::inputChanged);
    length_ = size;
    return {};
}

std::error_code BlockReader::load(NativeFile file, std::int64_t offset, std::int64_t length,
                                  std::size_t wanted) {
    const auto read = [&](std::uint8_t* data, std::size_t size, std::size_t& got) {
        return readAt(file, data, size, offset, got);
    };
    return loadWith(read, offset, length, wanted);
}

std::error_code BlockReader::load(const Fetch& fetch, std::int64_t offset, std::int64_t length,
                                  std::size_t wanted) {
    const auto read = [&](std::uint8_t* data, std::size_t size, std::size_t& got) {
        return fetch(offset, data, size, got);
    };
    return loadWith(read, offset, length, wanted);
}

std::error_code BlockReader::copy(NativeFile input, std::int64_t first, std::int64_t count,
                                  NativeFile output) {
    const std::error_code error = copyInKernel(input, first, output, count);
    if (error != std::errc::not_supported)
        return error;
    length_ = 0; // the block carries the copy; what it held is read again when asked for
    while (count > 0) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(count, static_cast<std::int64_t>(blockSize_)));
        std::uint8_t* data = room(wanted);
        std::size_t got = 0;
        if (const std::error_code readError = readAt(input, data, wanted, first, got))
            return readError;
        if (got < wanted)
            return make_error_code(Refusal::inputChanged);
        if (const std::error_code writeError = writeAll(output, data, got))
            return writeError;
        first += static_cast<std::int64_t>(got);
        count -= static_cast<std::int64_t>(got);
    }
    return {};
}

} // namespace twinframe
