#include "join/joinInputBytes.h"

#include "failure.h"

#include <algorithm>

namespace twinframe {

JoinInputBytes::JoinInputBytes(std::span<const std::uint8_t> bytes)
    : inMemory_(bytes), size_(bytes.size()) {}

JoinInputBytes::JoinInputBytes(std::uint64_t size, Fetch fetch, std::size_t blockSize)
    : size_(size), fetch_(std::move(fetch)), blockSize_(std::max<std::size_t>(blockSize, 16)) {}

std::span<const std::uint8_t> JoinInputBytes::at(std::uint64_t offset, std::size_t wanted) {
    if (offset >= size_ || error_)
        return {};
    if (!fetch_)
        return inMemory_.subspan(static_cast<std::size_t>(offset));
    const std::uint64_t available = std::min<std::uint64_t>(wanted, size_ - offset);
    if (offset < blockStart_ || offset + available > blockStart_ + blockLength_) {
        // A block is at least as long as what is wanted at once (a whole segment at most).
        const auto length = static_cast<std::size_t>(
            std::min<std::uint64_t>(std::max(blockSize_, wanted), size_ - offset));
        if (block_.size() < length)
            block_.resize(length);
        blockStart_ = offset;
        blockLength_ = 0;
        std::size_t got = 0;
        error_ = fetch_(offset, block_.data(), length, got);
        if (!error_ && got < length)
            error_ = make_error_code(Refusal::inputChanged); // it shrank since it was opened
        if (error_)
            return {};
        blockLength_ = length;
    }
    const auto from = static_cast<std::size_t>(offset - blockStart_);
    return std::span<const std::uint8_t>(block_).subspan(from, blockLength_ - from);
}

// Copies count bytes from offset of input to the end of output, through a buffer where the
// kernel cannot do it.
std::error_code copyRange(NativeFile input, std::int64_t offset, std::int64_t count,
                          NativeFile output, std::vector<std::uint8_t>& buffer) {
    const std::error_code error = copyInKernel(input, offset, output, count);
    if (error != std::errc::not_supported)
        return error;
    if (buffer.empty())
        buffer.resize(kJoinBlockSize);
    while (count > 0) {
        const auto wanted =
            static_cast<std::size_t>(std::min<std::int64_t>(count, std::ssize(buffer)));
        std::size_t got = 0;
        if (const std::error_code readError = readAt(input, buffer.data(), wanted, offset, got))
            return readError;
        if (got < wanted)
            return make_error_code(Refusal::inputChanged);
        if (const std::error_code writeError = writeAll(output, buffer.data(), got))
            return writeError;
        offset += static_cast<std::int64_t>(got);
        count -= static_cast<std::int64_t>(got);
    }
    return {};
}

} // namespace twinframe
