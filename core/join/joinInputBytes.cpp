#include "join/joinInputBytes.h"

#include "platform/failure.h"

#include <algorithm>

namespace twinframe {

JoinInputBytes::JoinInputBytes(std::span<const std::uint8_t> bytes)
    : inMemory_(bytes), size_(bytes.size()), reader_(kJoinBlockSize) {}

JoinInputBytes::JoinInputBytes(std::uint64_t size, Fetch fetch, std::size_t blockSize)
    : size_(size), fetch_(std::move(fetch)), reader_(blockSize) {}

std::span<const std::uint8_t> JoinInputBytes::at(std::uint64_t offset, std::size_t wanted) {
    if (offset >= size_ || error_)
        return {};
    if (!fetch_)
        return inMemory_.subspan(static_cast<std::size_t>(offset));
    const auto start = static_cast<std::int64_t>(offset);
    const auto available =
        static_cast<std::size_t>(std::min<std::uint64_t>(wanted, size_ - offset));
    if (!reader_.holds(start, available)) {
        // A block is at least as long as what is wanted at once (a whole segment at most); one
        // that comes short means the input shrank since it was opened.
        const auto fetch = [this](std::int64_t from, std::uint8_t* data, std::size_t size,
                                  std::size_t& got) {
            return fetch_(static_cast<std::uint64_t>(from), data, size, got);
        };
        error_ = reader_.load(fetch, start, static_cast<std::int64_t>(size_), wanted);
        if (error_)
            return {};
    }
    return reader_.bytes().subspan(static_cast<std::size_t>(start - reader_.start()));
}

} // namespace twinframe
