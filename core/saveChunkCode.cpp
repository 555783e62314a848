#include "saveChunkCode.h"

#include "failure.h"
#include "fileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace twinframe {

FileBuffer fileBuffer;

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

// Reads up to size bytes; a file that shrank while we read gives the bytes it still had.
std::error_code readUpTo(int fd, std::uint8_t* data, std::size_t size, std::size_t& got) {
    got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, size - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return {};
}

} // namespace

std::error_code FileBuffer::fill(const std::filesystem::path& path) {
    length_ = 0;
    // O_NONBLOCK: opening a fifo for reading would otherwise wait for a writer forever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return lastError();

    std::error_code error;
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        error = lastError();
    } else if (!S_ISREG(status.st_mode)) {
        error = S_ISDIR(status.st_mode) ? std::make_error_code(std::errc::is_a_directory)
                                        : make_error_code(Refusal::notRegularFile);
    } else {
        const auto size = static_cast<std::size_t>(status.st_size);
        if (size > capacity_) {
            storage_.reset(); // release first, so the old and new buffers never coexist
            capacity_ = 0;
            storage_ = std::make_unique_for_overwrite<std::uint8_t[]>(size);
            capacity_ = size;
        }
        error = readUpTo(fd, storage_.get(), size, length_);
    }
    ::close(fd);
    if (error)
        length_ = 0;
    return error;
}

std::int64_t findImageStart(std::span<const std::uint8_t> bytes, std::int64_t from) {
    const auto length = static_cast<std::int64_t>(bytes.size());
    const std::int64_t end = length - 4; // last offset at which a whole signature fits
    if (from < 0)
        from = 0;
    if (from > end)
        return 0;

    const std::uint8_t* const data = bytes.data();
    const std::uint8_t* p = data + from;
    const std::uint8_t* const last = data + end;
    // Most bytes are not FF, so let memchr skip to each candidate and test the rest there.
    while (p <= last) {
        p = static_cast<const std::uint8_t*>(
            std::memchr(p, 0xFF, static_cast<std::size_t>(last - p) + 1));
        if (p == nullptr)
            return 0;
        if (p[1] == 0xD8 && p[2] == 0xFF && (p[3] == 0xE0 || p[3] == 0xE1))
            return p - data;
        ++p;
    }
    return 0;
}

std::int64_t findImageStart(std::int64_t from, std::int64_t fileLength) {
    const auto bytes = fileBuffer.bytes();
    const auto usable = std::clamp<std::int64_t>(fileLength, 0, fileBuffer.length());
    return findImageStart(bytes.first(static_cast<std::size_t>(usable)), from);
}

std::error_code saveChunk(std::int64_t first, std::int64_t last,
                          const std::filesystem::path& name) {
    if (last <= first)
        return {};
    if (first < 0 || last >= fileBuffer.length())
        return std::make_error_code(std::errc::invalid_argument);
    const auto count = static_cast<std::size_t>(last - first + 1);
    return writeFileAtomically(name,
                               fileBuffer.bytes().subspan(static_cast<std::size_t>(first), count));
}

} // namespace twinframe
