#include "newFile.h"

#include "failure.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

fs::path folderOf(const fs::path& target) {
    const fs::path parent = target.parent_path();
    return parent.empty() ? fs::path(".") : parent;
}

// Hidden, so that the file lists never show it, and marked as ours in case a power cut leaves one.
fs::path temporaryNameBeside(const fs::path& target) {
    static std::mt19937_64 generator{std::random_device{}()};
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(generator()));
    return target.parent_path() / (".twinframe-" + std::string(suffix) + ".tmp");
}

// The answers of a file system (or an older kernel) that cannot do the step asked of it, as
// opposed to refusing it for this file.
bool cannotRenameWithoutReplacing(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}
bool cannotLink(int error) {
    return error == EPERM || error == EOPNOTSUPP;
}
bool cannotOpenUnnamed(int error) {
    // Kernels older than unnamed files take the flag for O_DIRECTORY and answer EISDIR.
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

std::error_code writeAndClose(int fd, const std::function<std::error_code(int fd)>& writeContent,
                              FileIdentity* written) {
    std::error_code error = writeContent(fd);
    if (!error && written != nullptr) {
        struct stat status {};
        if (::fstat(fd, &status) == 0)
            *written = {static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
        else
            error = lastSystemError();
    }
    // A write is finished only when the close succeeds too (network and quota file systems
    // report late failures there).
    if (::close(fd) != 0 && !error)
        error = lastSystemError();
    return error;
}

// Gives the complete temporary the name target unless something has it: in one step where the
// file system allows, else by a hard link; on file systems with neither, by claiming the name
// with an empty file of our own first, which the temporary then replaces.
std::error_code publishWithoutReplacing(const fs::path& temporary, const fs::path& target) {
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (!cannotRenameWithoutReplacing(errno))
        return lastSystemError();
    if (::link(temporary.c_str(), target.c_str()) == 0) {
        ::unlink(temporary.c_str());
        return {};
    }
    if (!cannotLink(errno))
        return lastSystemError();
    const int claim = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (claim < 0)
        return lastSystemError();
    ::close(claim);
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const std::error_code error = lastSystemError();
        ::unlink(target.c_str());
        return error;
    }
    return {};
}

} // namespace

std::error_code writeNewFile(const fs::path& target,
                             const std::function<std::error_code(int fd)>& writeContent,
                             FileIdentity* written) {
    // Checked first so that an existing file costs no writing; the final step checks again.
    struct stat status {};
    if (::lstat(target.c_str(), &status) == 0)
        return std::make_error_code(std::errc::file_exists);

    // A file without a name cannot be seen half-written, and linking it fails if the name is
    // taken. Linking through /proc needs no privilege, unlike linking the descriptor itself.
    if (::access("/proc/self/fd", X_OK) != 0)
        return writeNewFileThroughTemporary(target, writeContent, written);
    const int fd = ::open(folderOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (cannotOpenUnnamed(errno))
            return writeNewFileThroughTemporary(target, writeContent, written);
        return lastSystemError();
    }
    std::error_code error = writeContent(fd);
    if (!error && written != nullptr) {
        if (::fstat(fd, &status) == 0)
            *written = {static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
        else
            error = lastSystemError();
    }
    // Network and quota file systems report late write failures when a descriptor is closed;
    // closing a duplicate asks for them before the file gets its name.
    if (!error) {
        const int probe = ::dup(fd);
        if (probe < 0 || ::close(probe) != 0)
            error = lastSystemError();
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    bool linked = false;
    if (!error &&
        ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) != 0)
        error = lastSystemError();
    else if (!error)
        linked = true;
    if (::close(fd) != 0 && !error) {
        error = lastSystemError();
        if (linked)
            ::unlink(target.c_str()); // named just now, by us: take back a file that may be bad
    }
    return error;
}

std::error_code
writeNewFileThroughTemporary(const fs::path& target,
                             const std::function<std::error_code(int fd)>& writeContent,
                             FileIdentity* written) {
    fs::path temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = temporaryNameBeside(target);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return lastSystemError();
    }
    if (fd < 0)
        return std::make_error_code(std::errc::file_exists);
    std::error_code error = writeAndClose(fd, writeContent, written);
    if (!error)
        error = publishWithoutReplacing(temporary, target);
    if (error)
        ::unlink(temporary.c_str());
    return error;
}

} // namespace twinframe
