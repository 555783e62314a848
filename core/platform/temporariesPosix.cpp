// The temporaries of the file layer on POSIX systems: how they are made and locked, and when
// one that a killed run left behind may go.
#include "platform/temporariesPosix.h"

#include "platform/failure.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <unistd.h>

namespace twinframe {

namespace {

// Whether path still names the file open as fd.
bool stillNamed(int fd, const std::filesystem::path& path) {
    struct stat open {};
    struct stat named {};
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
           posix::sameFile(open, named);
}

} // namespace

namespace posix {

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

} // namespace posix

using namespace posix;

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

} // namespace twinframe
