// The file calls of the core on Linux and other POSIX systems (and under Emscripten, whose file
// systems answer the same calls).
#include "fileSystem.h"

#include "failure.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace twinframe {

namespace {

// Hidden, so that the file lists never show it, and named by our process in case a kill or a
// power cut leaves one: the next run then knows it for abandoned.
std::filesystem::path temporaryNameBeside(const std::filesystem::path& target) {
    static std::mt19937_64 generator{std::random_device{}()};
    return target.parent_path() / temporaryLeaf(currentProcessId(), generator());
}

// The mode a new file is created with; open() takes the umask off it, as cp does for a copy.
mode_t creationMode(std::filesystem::perms permissions) {
    if (permissions == std::filesystem::perms::unknown)
        return 0666;
    return static_cast<mode_t>(permissions & std::filesystem::perms::all);
}

// What a lock asked of a temporary got: it, a refusal because another holds one, or nothing
// because the file system keeps no locks.
enum class LockAnswer { locked, heldByAnother, noLocks };

// A writer holds an exclusive lock on its temporary for as long as it writes it, which tells
// every other run, in any PID namespace and on any machine sharing the folder through a file
// system that passes locks on (NFS, SMB), that it is alive; the system drops the lock however
// the writer ends. An open file description's lock (or flock) belongs to the open file, not to
// the process, so this process's own clean-up finds its live temporaries held too. Clean-up
// asks for a shared lock without waiting; the writer waits, which is never long since clean-up
// holds one only to look and remove.
LockAnswer lockTemporary(int fd, bool writer) {
#if defined(__EMSCRIPTEN__)
    (void)fd;
    (void)writer;
    return LockAnswer::noLocks;
#elif defined(F_OFD_SETLK)
    struct flock lock {};
    lock.l_type = writer ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET; // the whole file, however long it grows
    while (::fcntl(fd, writer ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0) {
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EACCES ? LockAnswer::heldByAnother : LockAnswer::noLocks;
    }
    return LockAnswer::locked;
#else
    while (::flock(fd, writer ? LOCK_EX : LOCK_SH | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        return errno == EWOULDBLOCK ? LockAnswer::heldByAnother : LockAnswer::noLocks;
    }
    return LockAnswer::locked;
#endif
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether path still names the file open as fd.
bool stillNamed(int fd, const std::filesystem::path& path) {
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && sameFile(open, named);
}

// Creates a temporary file that did not exist before, with mode less the user's umask (as the
// final file would have had if written in place), and holds the writer's lock on it. Its
// descriptor writes whatever the mode says.
int createTemporary(const std::filesystem::path& target, mode_t mode,
                    std::filesystem::path& temporary, std::error_code& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporaryNameBeside(target);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            error = lastSystemError();
            return -1;
        }
        // Between the open and the lock, a clean-up elsewhere may have found the new file
        // unlocked and removed it: then it is written under a new name.
        if (lockTemporary(fd, true) != LockAnswer::locked || stillNamed(fd, temporary))
            return fd;
        ::close(fd);
    }
    error = std::make_error_code(std::errc::file_exists);
    return -1;
}

// An unnamed file in target's folder (O_TMPFILE): nothing is seen in the folder until it is
// linked in, and a process killed while writing leaves nothing at all. Returns -1 where the
// file system or the kernel cannot make one (vfat and exfat cards, for one), with no error.
int createUnnamed(const std::filesystem::path& target, mode_t mode) {
#ifdef O_TMPFILE
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#else
    (void)target;
    (void)mode;
    return -1;
#endif
}

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
            std::error_code error =
                writeAndClose(unnamed, writeContent, written, [&](int fd) {
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

void tell(const PublishWatcher& watcher, PublishStep step, const std::filesystem::path& path) {
    if (watcher)
        watcher(step, path);
}

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

// Why target cannot take a file, found before any file of the group is named.
std::error_code whyNotNameable(const std::filesystem::path& target, ExistingFile existing) {
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

std::error_code nameStaged(StagedFile& file, ExistingFile existing) {
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

} // namespace

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
        tell(watcher, PublishStep::startWriteBack, target);
        startWriteBack(fd);
    }
    if (!error && !holdOpen) {
        tell(watcher, PublishStep::flushData, target);
        error = flushData(fd);
        staged.dataFlushed = !error;
        if (!error)
            error = closeStaged(staged);
    }
    if (error)
        discardStaged(staged);
    return error;
}

std::error_code publishStaged(std::vector<StagedFile>& files, ExistingFile existing,
                              std::size_t& failed, const PublishWatcher& watcher) {
    for (failed = 0; failed < files.size(); ++failed)
        if (const std::error_code error = whyNotNameable(files[failed].target, existing))
            return error;
    // All the data first, then all the names: one wait for the group, and no name before it.
    for (failed = 0; failed < files.size(); ++failed) {
        StagedFile& file = files[failed];
        if (file.dataFlushed)
            continue;
        tell(watcher, PublishStep::flushData, file.target);
        if (const std::error_code error = flushData(static_cast<int>(file.file)))
            return error;
        file.dataFlushed = true;
    }
    for (failed = 0; failed < files.size(); ++failed) {
        tell(watcher, PublishStep::name, files[failed].target);
        if (const std::error_code error = nameStaged(files[failed], existing)) {
            // Something took a name after the check: the names given already go again, while
            // they are still ours.
            for (std::size_t i = 0; i < failed; ++i)
                if (identityOf(files[i].target) == files[i].identity)
                    ::unlink(files[i].target.c_str());
            return error;
        }
    }
    return {};
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

std::uint64_t currentProcessId() {
    return static_cast<std::uint64_t>(::getpid());
}

bool processIsRunning(std::uint64_t processId) {
#if defined(__EMSCRIPTEN__)
    // The page has no processes to ask about, and writes no files: every writer counts as alive.
    (void)processId;
    return true;
#else
    // A signal 0 asks only whether the process is there; EPERM means it is, under another user.
    const auto pid = static_cast<pid_t>(processId);
    if (pid <= 0 || static_cast<std::uint64_t>(pid) != processId)
        return false;
    return ::kill(pid, 0) == 0 || errno == EPERM;
#endif
}

bool removeIfAbandoned(const std::filesystem::path& temporary, std::uint64_t writer) {
    // Opened to be locked, never to be written; a fifo under a temporary's name must not hang.
    const int fd =
        ::open(temporary.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat status {};
    bool abandoned = false;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        switch (lockTemporary(fd, false)) {
        case LockAnswer::locked:
            abandoned = true;
            break;
        case LockAnswer::heldByAnother:
            break;
        case LockAnswer::noLocks: {
            // Nothing tells a live writer on another machine or in another PID namespace from a
            // dead one here but time: no image takes hours to write, and a FAT card's clock
            // (local time, whichever zone its writer was in) can be half a day off ours.
            const auto age = std::difftime(std::time(nullptr), status.st_mtime);
            abandoned = writer != currentProcessId() && !processIsRunning(writer) &&
                        age >= static_cast<double>(kUnlockedTemporaryAge.count()) * 3600;
            break;
        }
        }
    }
    // Still the file that was locked and looked at: another run may have removed it and a new
    // writer taken the name meanwhile. The lock is kept until it is gone.
    struct stat named {};
    const bool removed = abandoned && ::lstat(temporary.c_str(), &named) == 0 &&
                         sameFile(status, named) && ::unlink(temporary.c_str()) == 0;
    ::close(fd);
    return removed;
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
