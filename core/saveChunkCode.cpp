#include "saveChunkCode.h"

#include "failure.h"
#include "fileSystem.h"
#include "scanSignature.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Emscripten's C library declares copy_file_range but has no such call; its file systems live in
// the program's own memory, so the read and write copy is all there is to do there.
#if !defined(__EMSCRIPTEN__)
#define TWINFRAME_KERNEL_COPY 1
#endif

namespace twinframe {

FileBuffer fileBuffer;

namespace {

// Small enough to stay in the processor's cache while it is scanned.
constexpr std::size_t kDefaultBlockSize = 256 * 1024;

#if defined(TWINFRAME_KERNEL_COPY)
// copy_file_range cannot serve every pair of files (another file system, an old kernel, a
// file system without it); the ordinary read and write loop serves those.
bool kernelCopyUnsupported(int error) {
    return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
           error == EBADF;
}
#endif

} // namespace

FileBuffer::FileBuffer()
    : head_(uninitialisedBuffer(kIndexReach)), block_(uninitialisedBuffer(kDefaultBlockSize)),
      blockSize_(kDefaultBlockSize) {}

void FileBuffer::setBlockSize(std::size_t bytes) {
    blockSize_ = std::max<std::size_t>(bytes, 16);
    block_ = uninitialisedBuffer(blockSize_);
    blockLength_ = 0;
}

FileBuffer::~FileBuffer() {
    release();
}

void FileBuffer::release() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    length_ = 0;
    headLength_ = 0;
    blockStart_ = 0;
    blockLength_ = 0;
    readError_.clear();
}

std::error_code FileBuffer::fill(const std::filesystem::path& path) {
    release();
    // O_NONBLOCK: opening a fifo for reading would otherwise wait for a writer forever.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd_ < 0)
        return lastSystemError();

    std::error_code error;
    struct stat status {};
    if (::fstat(fd_, &status) != 0)
        error = lastSystemError();
    else if (S_ISDIR(status.st_mode))
        error = std::make_error_code(std::errc::is_a_directory);
    else if (!S_ISREG(status.st_mode))
        error = make_error_code(Refusal::notRegularFile);
    else {
        length_ = static_cast<std::int64_t>(status.st_size);
        error = loadHead(kHeadFirstRead);
    }
    if (error)
        release();
    return error;
}

// The head is read apart from the scan's block: a file with a sound index needs nothing else
// before its images are copied, and the scan's block size (small in the fuzzer) never changes
// how far the index is looked for. Reads on from what the head holds up to upTo bytes.
std::error_code FileBuffer::loadHead(std::size_t upTo) {
    const auto wanted =
        static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(upTo), length_));
    if (wanted <= headLength_)
        return {};
    std::size_t got = 0;
    if (const std::error_code error = readAt(fd_, head_.get() + headLength_, wanted - headLength_,
                                             static_cast<std::int64_t>(headLength_), got))
        return error;
    headLength_ += got;
    if (headLength_ < wanted)
        return make_error_code(Refusal::inputChanged);
    return {};
}

bool FileBuffer::headIsWhole() const {
    return static_cast<std::int64_t>(headLength_) >= std::min<std::int64_t>(kIndexReach, length_);
}

std::error_code FileBuffer::extendHead() {
    return loadHead(kIndexReach);
}

bool FileBuffer::startsImageAt(std::int64_t offset) const {
    std::uint8_t marker[2];
    std::size_t got = 0;
    if (fd_ < 0 || offset < 0 || readAt(fd_, marker, sizeof marker, offset, got))
        return false;
    return got == sizeof marker && marker[0] == 0xFF && marker[1] == 0xD8;
}

std::error_code FileBuffer::loadBlock(std::int64_t offset) {
    const auto wanted = static_cast<std::size_t>(
        std::min<std::int64_t>(static_cast<std::int64_t>(blockSize_), length_ - offset));
    blockStart_ = offset;
    blockLength_ = 0;
    // The scan begins inside the head read when the file was opened: it scans the head in place,
    // as a shorter block if need be (at least 16 bytes, so that every block moves the scan on).
    const auto headLength = static_cast<std::int64_t>(headLength_);
    if (offset >= 0 && offset + 16 <= headLength) {
        blockLength_ = std::min(wanted, static_cast<std::size_t>(headLength - offset));
        blockData_ = head_.get() + offset;
        return {};
    }
    blockData_ = block_.get();
    if (const std::error_code error = readAt(fd_, block_.get(), wanted, offset, blockLength_))
        return error;
    if (blockLength_ < wanted)
        return make_error_code(Refusal::inputChanged);
    return {};
}

std::int64_t FileBuffer::findImageStart(std::int64_t from) {
    from = std::max<std::int64_t>(from, 0);
    while (from + 4 <= length_) {
        const std::int64_t blockEnd = blockStart_ + static_cast<std::int64_t>(blockLength_);
        if (from < blockStart_ || from + 4 > blockEnd) {
            if (const std::error_code error = loadBlock(from)) {
                readError_ = error;
                return 0;
            }
            continue;
        }
        const auto offset = static_cast<std::size_t>(from - blockStart_);
        const std::size_t found = scanSignature(blockData_ + offset, blockLength_ - offset);
        if (found < blockLength_ - offset)
            return from + static_cast<std::int64_t>(found);
        if (blockEnd >= length_)
            return 0;
        // The next block starts three bytes back, so a signature across the boundary is seen.
        from = blockEnd - 3;
    }
    return 0;
}

std::error_code FileBuffer::copyTo(int fd, std::int64_t first, std::int64_t count) {
#if !defined(TWINFRAME_KERNEL_COPY)
    return copyThroughBlock(fd, first, count);
#else
    off_t input = static_cast<off_t>(first);
    auto remaining = static_cast<std::size_t>(count);
    while (remaining > 0) {
        const ssize_t n = ::copy_file_range(fd_, &input, fd, nullptr, remaining, 0);
        if (n > 0) {
            remaining -= static_cast<std::size_t>(n);
        } else if (n == 0) {
            return make_error_code(Refusal::inputChanged);
        } else if (errno != EINTR) {
            if (kernelCopyUnsupported(errno))
                return copyThroughBlock(fd, input, static_cast<std::int64_t>(remaining));
            return lastSystemError();
        }
    }
    return {};
#endif
}

std::error_code FileBuffer::copyThroughBlock(int fd, std::int64_t first, std::int64_t count) {
    blockLength_ = 0; // the block is reused for the copy; the scan reloads what it needs
    while (count > 0) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(count, static_cast<std::int64_t>(blockSize_)));
        std::size_t got = 0;
        if (const std::error_code error = readAt(fd_, block_.get(), wanted, first, got))
            return error;
        if (got < wanted)
            return make_error_code(Refusal::inputChanged);
        if (const std::error_code error = writeAll(fd, block_.get(), got))
            return error;
        first += static_cast<std::int64_t>(got);
        count -= static_cast<std::int64_t>(got);
    }
    return {};
}

std::int64_t findImageStart(std::span<const std::uint8_t> bytes, std::int64_t from) {
    const auto length = static_cast<std::int64_t>(bytes.size());
    from = std::max<std::int64_t>(from, 0);
    if (from + 4 > length)
        return 0;
    const auto offset = static_cast<std::size_t>(from);
    const std::size_t found = scanSignature(bytes.data() + offset, bytes.size() - offset);
    return found < bytes.size() - offset ? from + static_cast<std::int64_t>(found) : 0;
}

std::int64_t findImageStart(std::int64_t from, std::int64_t fileLength) {
    if (fileLength < fileBuffer.length()) {
        // Only a caller that asks for less than the whole file gets here; keep to its length.
        const std::int64_t found = fileBuffer.findImageStart(from);
        return found + 4 <= fileLength ? found : 0;
    }
    return fileBuffer.findImageStart(from);
}

std::error_code saveChunk(std::int64_t first, std::int64_t last, const std::filesystem::path& name,
                          FileIdentity* written) {
    if (last <= first)
        return {};
    if (first < 0 || last >= fileBuffer.length())
        return std::make_error_code(std::errc::invalid_argument);
    return writeFileAtomically(
        name, [first, last](int fd) { return fileBuffer.copyTo(fd, first, last - first + 1); },
        written);
}

} // namespace twinframe
