// The file calls of the core on POSIX systems that read, look at and list files.
#include "platform/fileSystem.h"

#include "platform/failure.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace twinframe {

std::error_code readAt(NativeFile file, std::uint8_t* data, std::size_t size, std::int64_t offset,
                       std::size_t& got) {
    const int fd = static_cast<int>(file);
    got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, data + got, size - got, offset + static_cast<off_t>(got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastSystemError();
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return {};
}

std::error_code writeAll(NativeFile file, const std::uint8_t* data, std::size_t size) {
    const int fd = static_cast<int>(file);
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return lastSystemError();
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return {};
}

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
}

std::filesystem::perms permissionsOf(NativeFile file) {
    struct stat status {};
    if (::fstat(static_cast<int>(file), &status) != 0)
        return std::filesystem::perms::unknown;
    return static_cast<std::filesystem::perms>(status.st_mode) & std::filesystem::perms::mask;
}

bool nameIsTaken(const std::filesystem::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

// The bytes of a POSIX name are the name, whatever their encoding: they pass unchanged.
std::string utf8Text(const std::filesystem::path& path) {
    return path.native();
}

std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(text);
}

bool isHidden(const std::filesystem::path& path) {
    const std::string leaf = path.filename().string();
    return leaf.empty() || leaf.front() == '.';
}

std::error_code openForReading(const std::filesystem::path& path, NativeFile& file,
                               std::int64_t& length) {
    file = kNoFile;
    length = 0;
    // O_NONBLOCK: opening a fifo for reading would otherwise wait for a writer forever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return lastSystemError();
    std::error_code error;
    struct stat status {};
    if (::fstat(fd, &status) != 0)
        error = lastSystemError();
    else if (S_ISDIR(status.st_mode))
        error = std::make_error_code(std::errc::is_a_directory);
    else if (!S_ISREG(status.st_mode))
        error = make_error_code(Refusal::notRegularFile);
    if (error) {
        ::close(fd);
        return error;
    }
    file = fd;
    length = static_cast<std::int64_t>(status.st_size);
    return {};
}

void closeFile(NativeFile file) {
    if (file != kNoFile)
        ::close(static_cast<int>(file));
}

std::error_code copyInKernel(NativeFile input, std::int64_t& offset, NativeFile output,
                             std::int64_t& remaining) {
#if defined(__EMSCRIPTEN__)
    // Emscripten's C library declares copy_file_range but has no such call; its file systems live
    // in the program's own memory, so the read and write copy is all there is to do there.
    (void)input;
    (void)offset;
    (void)output;
    (void)remaining;
    return std::make_error_code(std::errc::not_supported);
#else
    while (remaining > 0) {
        off_t from = static_cast<off_t>(offset);
        const ssize_t n =
            ::copy_file_range(static_cast<int>(input), &from, static_cast<int>(output), nullptr,
                              static_cast<std::size_t>(remaining), 0);
        if (n > 0) {
            offset += n;
            remaining -= n;
        } else if (n == 0) {
            return make_error_code(Refusal::inputChanged);
        } else if (errno != EINTR) {
            // Not every pair of files can be served (another file system, an old kernel, a file
            // system without it).
            if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                errno == EBADF)
                return std::make_error_code(std::errc::not_supported);
            return lastSystemError();
        }
    }
    return {};
#endif
}

std::error_code fileKindOf(const std::filesystem::path& path, FileKind& kind) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        const int error = errno;
        kind = error == ENOENT || error == ENOTDIR ? FileKind::notFound : FileKind::unknown;
        return {error, std::generic_category()};
    }
    kind = S_ISREG(status.st_mode)   ? FileKind::regular
           : S_ISDIR(status.st_mode) ? FileKind::directory
                                     : FileKind::other;
    return {};
}

bool isSymbolicLink(const std::filesystem::path& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

std::vector<std::filesystem::path> folderEntries(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> names;
    DIR* const listing = ::opendir(folder.c_str());
    if (listing == nullptr)
        return names;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(listing);
    return names;
}

} // namespace twinframe
