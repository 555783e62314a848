// The file calls of the core on Linux and other POSIX systems (and under Emscripten, whose file
// systems answer the same calls) that put files on the disk: written whole into temporaries,
// then given their names, alone or staged and published together.
#include "platform/fileSystem.h"

#include "platform/failure.h"
#include "platform/staging.h"
#include "platform/temporariesPosix.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace twinframe {

using namespace posix;

namespace {

// Gives the unnamed file open as fd the name path, which must not exist yet. The /proc link
// works for every user; the AT_EMPTY_PATH form is tried where /proc is not mounted.
int linkUnnamed(int fd, const std::filesystem::path& path) {
    const std::string procLink = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, procLink.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    if (errno != ENOENT)
        return -1;
    return ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH);
}

// Puts the complete unnamed file in place under target. A link cannot replace a file, which is
// just what keeping an existing one needs; to replace it, the file is linked to a fresh temporary
// name and renamed over target, which keeps the swap atomic.
std::error_code linkIntoPlace(int fd, const std::filesystem::path& target, ExistingFile existing) {
    if (linkUnnamed(fd, target) == 0)
        return {};
    if (errno != EEXIST || existing == ExistingFile::keep)
        return lastSystemError();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path temporary = temporaryNameBeside(target);
        if (linkUnnamed(fd, temporary) != 0) {
            if (errno == EEXIST)
                continue;
            return lastSystemError();
        }
        if (::rename(temporary.c_str(), target.c_str()) == 0)
            return {};
        const std::error_code error = lastSystemError();
        ::unlink(temporary.c_str());
        return error;
    }
    return std::make_error_code(std::errc::file_exists);
}

// Writes the content, notes the new file's identity and closes fd, which must be closed on every
// path. A write is finished only when the close succeeds too (network and quota file systems
// report late failures there).
std::error_code flushData(int fd) {
    while (::fdatasync(fd) != 0)
        if (errno != EINTR)
            return lastSystemError();
    return {};
}

// The folder whose entry names target, to be flushed once target has its name.
std::filesystem::path folderOfTarget(const std::filesystem::path& target) {
    return target.has_parent_path() ? target.parent_path() : pathFromUtf8(".");
}

std::error_code writeAndClose(int fd,
                              const std::function<std::error_code(NativeFile)>& writeContent,
                              FileIdentity* written,
                              const std::function<std::error_code(int fd)>& beforeClose) {
    std::error_code error = writeContent(fd);
    struct stat status {};
    if (!error && written != nullptr) {
        if (::fstat(fd, &status) == 0)
            *written = {static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
        else
            error = lastSystemError();
    }
    if (!error && beforeClose)
        error = beforeClose(fd);
    if (::close(fd) != 0 && !error)
        error = lastSystemError();
    return error;
}

// The answers of a file system (or an older kernel) that cannot do the step asked of it, as
// opposed to refusing it for this file.
bool cannotRenameWithoutReplacing(int error) {
    return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
}
// EMLINK too: a temporary has one link, so "too many links" is a file system that makes none
// (the page's build of the core on the disk, through node, answers so).
bool cannotLink(int error) {
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK;
}

// Gives the complete temporary the name target unless something has it. In one step where the
// file system can (renameat2 with RENAME_NOREPLACE), else by a hard link and the temporary's
// removal (a kill between the two leaves the complete file and a temporary the next run removes).
// Card drivers in user space (exfat-fuse, fusefat) can do neither; there the name is looked at
// and the temporary renamed onto it straight after, as nothing else is left that never puts an
// empty or partial file under the name (claiming the name with an empty file first left that
// empty file behind when the process was killed before its rename). The price is honest: a file
// that another program creates under the name in the microseconds between the look and the
// rename is replaced.
std::error_code renameWithoutReplacing(const std::filesystem::path& temporary,
                                       const std::filesystem::path& target) {
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
    struct stat status {};
    if (::lstat(target.c_str(), &status) == 0)
        return std::make_error_code(std::errc::file_exists);
    if (errno != ENOENT)
        return lastSystemError();
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return lastSystemError();
    return {};
}

std::error_code moveIntoPlace(const std::filesystem::path& temporary,
                              const std::filesystem::path& target, ExistingFile existing) {
    if (existing == ExistingFile::keep)
        return renameWithoutReplacing(temporary, target);
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return lastSystemError();
    return {};
}

} // namespace

std::error_code writeFileAtomically(const std::filesystem::path& target,
                                    const std::function<std::error_code(NativeFile)>& writeContent,
                                    FileIdentity* written, TemporaryKind kind,
                                    ExistingFile existing, std::filesystem::perms permissions) {
    const mode_t mode = creationMode(permissions);
    // Checked first so that an existing file costs no writing; the final step checks again.
    struct stat status {};
    if (existing == ExistingFile::keep && ::lstat(target.c_str(), &status) == 0)
        return std::make_error_code(std::errc::file_exists);

    if (kind == TemporaryKind::unnamedWherePossible) {
        const int unnamed = createUnnamed(target, mode);
        if (unnamed >= 0) {
            // Locked for the instant it has a temporary name, when it replaces a file.
            (void)lockTemporary(unnamed, true);
            bool linked = false;
            std::error_code error = writeAndClose(unnamed, writeContent, written, [&](int fd) {
                if (const std::error_code flushError = flushData(fd))
                    return flushError;
                const std::error_code linkError = linkIntoPlace(fd, target, existing);
                linked = !linkError;
                return linkError;
            });
            // A close that fails after the link leaves a file that may not be whole: take it away.
            if (error && linked)
                ::unlink(target.c_str());
            if (!error)
                error = flushFolder(folderOfTarget(target));
            return error;
        }
    }

    std::filesystem::path temporary;
    std::error_code error;
    const int fd = createTemporary(target, mode, temporary, error);
    if (fd < 0)
        return error;
    // A second descriptor of the same open file keeps the writer's lock from the close (which
    // reports late write failures) until the temporary has its final name: no clean-up may take
    // it in between.
    const int lockHolder = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    error = writeAndClose(fd, writeContent, written, flushData);
    if (!error)
        error = moveIntoPlace(temporary, target, existing);
    if (error)
        ::unlink(temporary.c_str());
    if (lockHolder >= 0)
        ::close(lockHolder);
    if (!error)
        error = flushFolder(folderOfTarget(target));
    return error;
}

namespace {

// Starts the written data on its way to the disk without waiting for it, so that by the time the
// file's outputs are flushed together most of it is there: the flush then costs little more than
// the disk's own time for the bytes. Only a hint: where the call is missing nothing is lost.
void startWriteBack(int fd) {
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
#endif
}

// Closes a staged file's descriptor; a close that fails means the bytes may not be whole.
std::error_code closeStaged(StagedFile& file) {
    const int fd = static_cast<int>(file.file);
    file.file = kNoFile;
    if (fd >= 0 && ::close(fd) != 0)
        return lastSystemError();
    return {};
}

} // namespace

std::error_code staging::whyNotNameable(const std::filesystem::path& target,
                                        ExistingFile existing) {
    struct stat status {};
    if (::lstat(target.c_str(), &status) != 0)
        return {};
    // A folder in the way is told as such whatever the file would have done to a file there.
    if (S_ISDIR(status.st_mode))
        return std::make_error_code(std::errc::is_a_directory);
    if (existing == ExistingFile::keep)
        return std::make_error_code(std::errc::file_exists);
    return {};
}

std::error_code staging::nameStaged(StagedFile& file, ExistingFile existing) {
    if (file.temporary.empty()) {
        const std::error_code error =
            linkIntoPlace(static_cast<int>(file.file), file.target, existing);
        if (error)
            return error;
        (void)closeStaged(file); // the data is on the disk: a late close failure cannot change it
        return {};
    }
    // Renamed while still open: the open file holds the writer's lock, and a clean-up elsewhere
    // takes any temporary it finds unlocked. The data is on the disk already, so a late close
    // failure cannot change it.
    if (const std::error_code error = moveIntoPlace(file.temporary, file.target, existing))
        return error;
    file.temporary.clear();
    (void)closeStaged(file);
    return {};
}

std::error_code stageFile(const std::filesystem::path& target,
                          const std::function<std::error_code(NativeFile)>& writeContent,
                          std::filesystem::perms permissions, bool holdOpen, StagedFile& staged,
                          const PublishWatcher& watcher) {
    staged = StagedFile{};
    staged.target = target;
    const mode_t mode = creationMode(permissions);
    int fd = holdOpen ? createUnnamed(target, mode) : -1;
    if (fd < 0) {
        std::error_code error;
        fd = createTemporary(target, mode, staged.temporary, error);
        if (fd < 0)
            return error;
    }
    staged.file = fd;
    std::error_code error = writeContent(fd);
    struct stat status {};
    if (!error && ::fstat(fd, &status) != 0)
        error = lastSystemError();
    if (!error) {
        staged.identity = {static_cast<std::uint64_t>(status.st_dev),
                           static_cast<std::uint64_t>(status.st_ino)};
        staging::tell(watcher, PublishStep::startWriteBack, target);
        startWriteBack(fd);
    }
    if (!error && !holdOpen) {
        staging::tell(watcher, PublishStep::flushData, target);
        error = flushData(fd);
        staged.dataFlushed = !error;
        if (!error)
            error = closeStaged(staged);
    }
    if (error)
        discardStaged(staged);
    return error;
}

std::error_code staging::flushStagedData(const StagedFile& file) {
    return flushData(static_cast<int>(file.file));
}

void staging::removeName(const std::filesystem::path& target) {
    ::unlink(target.c_str());
}

void discardStaged(StagedFile& file) {
    (void)closeStaged(file);
    if (!file.temporary.empty())
        ::unlink(file.temporary.c_str());
    file.temporary.clear();
}

std::error_code flushFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) // a folder that is gone has no names left to keep
        return errno == ENOENT || errno == ENOTDIR ? std::error_code{} : lastSystemError();
    std::error_code error;
    while (::fsync(fd) != 0) {
        // Some file systems (FUSE drivers among them) have no flush of a folder of its own; they
        // write their names through at once or not at all, and nothing more can be asked.
        if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP || errno == EROFS)
            break;
        if (errno != EINTR) {
            error = lastSystemError();
            break;
        }
    }
    ::close(fd);
    return error;
}

} // namespace twinframe
