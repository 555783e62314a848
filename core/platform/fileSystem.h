#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

// The one seam between the core and the operating system: everything the core asks of files goes
// through these calls, implemented once per platform (fileSystemPosix.cpp, fileSystemWindows.cpp).

namespace twinframe {

// An open file as the platform knows it: a file descriptor on POSIX systems, a HANDLE on Windows.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

// Which file a path names, whatever the spelling: two names are the same file exactly when their
// identities are equal (hard links, symbolic links, case-insensitive file systems).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileIdentity&) const = default;
};

// Where writeFileAtomically keeps a file until it is complete: an unnamed file (O_TMPFILE) where
// the file system has them, else a hidden temporary beside the target named by
// temporaryLeaf; or always the named one, which is what file systems without unnamed files get.
enum class TemporaryKind { unnamedWherePossible, named };

// What becomes of a file that already has the target's name: replaced whole (an output of an
// earlier run), or kept (an MPO beside its halves), the write then failing with file_exists,
// also when such a file appears while the content is being written.
enum class ExistingFile { replace, keep };

// Writes what writeContent puts into the open file it is given as the whole content
// of target. It goes to a fresh temporary file in the target's folder first, which takes the
// target's name only once it is completely written and closed. So a failure (disk full, a folder
// in the way) leaves no partial file and no temporary behind, and a file that already had the
// name is either untouched or, when existing says so, wholly replaced; with an unnamed temporary
// even a killed process leaves nothing. On success, written (if given) receives the identity of
// the new file. The new file gets permissions less the user's umask, as cp gives a copy its
// source's (perms::unknown: what the umask leaves of read and write for all).
std::error_code
writeFileAtomically(const std::filesystem::path& target,
                    const std::function<std::error_code(NativeFile)>& writeContent,
                    FileIdentity* written = nullptr,
                    TemporaryKind kind = TemporaryKind::unnamedWherePossible,
                    ExistingFile existing = ExistingFile::replace,
                    std::filesystem::perms permissions = std::filesystem::perms::unknown);

// The steps that put a split's outputs on the disk under their names, in their order, told to a
// watcher (a test's, to check the order or to act in between: a file written under an output's
// name just before the output takes it).
enum class PublishStep {
    startWriteBack, // a temporary is written whole: its data starts on its way to the disk
    flushData,      // its data is waited for on the disk, before it may have a name
    name,           // it takes its name
    flushFolder,    // the folder's new names are waited for on the disk
};
using PublishWatcher = std::function<void(PublishStep, const std::filesystem::path&)>;

// An output written whole into a temporary beside its target, and not yet named: the split
// writes every image of a file so before any of them gets its name.
struct StagedFile {
    std::filesystem::path target;
    std::filesystem::path temporary; // the hidden temporary; empty for an unnamed one (O_TMPFILE)
    NativeFile file = kNoFile;       // open until named (an unnamed temporary lives only so)
    bool removedOnClose = false;     // Windows: the open temporary goes when its handle closes
    bool dataFlushed = false;        // its data is on the disk already
    FileIdentity identity;           // what the output is once named
};

// Writes what writeContent puts into the open file it is given into a fresh temporary beside
// target, with permissions less the umask, and starts its data on the way to the disk. With
// holdOpen false the temporary is a named one, flushed and closed at once: a file of many images
// must not hold a descriptor for each. On failure nothing is left behind.
std::error_code stageFile(const std::filesystem::path& target,
                          const std::function<std::error_code(NativeFile)>& writeContent,
                          std::filesystem::perms permissions, bool holdOpen, StagedFile& staged,
                          const PublishWatcher& watcher = {});

// Gives each staged file its target's name, all of them or none: every target is checked first
// (a folder in the way; with ExistingFile::keep, any file at all), then every file's data is
// waited for on the disk, and only then are they named, so that no name ever stands for bytes
// a power cut can still take. With ExistingFile::keep a file that takes the name meanwhile is
// kept, never replaced (file_exists). On failure failed is the index of the file that could
// not be named, and no name of the group stays (only a race can make a later one fail after an
// earlier was named; that one is taken away again). The files stay to be discarded.
std::error_code publishStaged(std::vector<StagedFile>& files, ExistingFile existing,
                              std::size_t& failed, const PublishWatcher& watcher = {});

// Removes a staged file's temporary if it was not named, and closes it.
void discardStaged(StagedFile& file);

// Waits until the names given in folder are on the disk (the file system's own journal where a
// folder cannot be flushed by itself).
std::error_code flushFolder(const std::filesystem::path& folder);

// The permission bits of an open file (on Windows, what its read-only attribute gives).
std::filesystem::perms permissionsOf(NativeFile file);

// This process's id, which names the temporaries it writes.
std::uint64_t currentProcessId();

// Whether a process of that id is running on this machine. Any process counts, whatever its
// program: an id the system gave again to another program keeps a temporary, which errs on the
// safe side.
bool processIsRunning(std::uint64_t processId);

// Temporaries are hidden (the file lists never show them) and say which process writes them:
// ".twinframe-PID-SERIAL.tmp", PID in decimal and SERIAL 16 hex digits. A process killed while
// writing on a disk without unnamed files (FAT and exFAT cards) leaves one behind, and the
// next run that writes to its folder knows it from one another Twinframe is still writing.
std::string temporaryLeaf(std::uint64_t processId, std::uint64_t serial);

// The id of the process that wrote the temporary of that leaf name, none when the name is not
// one of our temporaries.
std::optional<std::uint64_t> writerOfTemporary(const std::string& leaf);

// Removes from folder the temporaries that no writer anywhere can still own, never one that a
// running Twinframe (this one included, or one in another PID namespace or on another machine
// sharing the folder) may still be writing. Looks at a folder at most once a minute, so that a
// batch writing thousands of images into it pays for one look.
void removeAbandonedTemporaries(const std::filesystem::path& folder);

// How long a temporary stays where the file system keeps no locks and its writer cannot be
// asked about: a writer elsewhere is taken for dead only after this long.
inline constexpr std::chrono::hours kUnlockedTemporaryAge{24};

// Removes the temporary at path, which writer's name it bears, when no writer can still own it,
// and tells whether it did. On POSIX systems a writer holds a lock on its open temporary, and a
// temporary is abandoned when that lock is free (the writer ended, however it ended); where the
// file system has no locks, when its writer is not running here and it is older than
// kUnlockedTemporaryAge. On Windows a writer holds its temporary open without letting anyone
// delete it, and one whose writer is not running here is removed unless the system refuses.
bool removeIfAbandoned(const std::filesystem::path& temporary, std::uint64_t writer);

// The identity of the file at path, following links; none when nothing is there.
std::optional<FileIdentity> identityOf(const std::filesystem::path& path);

// Whether anything at all has the name path, a dangling link included: a name that is taken.
bool nameIsTaken(const std::filesystem::path& path);

// What a name leads to, links followed.
enum class FileKind { notFound, unknown, regular, directory, other };

// What is at path, links followed. Nothing there (a dangling link, a path through a file) gives
// FileKind::notFound and the reason; a name that cannot be looked at (a folder without search
// permission, a loop of links) gives FileKind::unknown and the reason.
std::error_code fileKindOf(const std::filesystem::path& path, FileKind& kind);

// Whether the name path is itself a symbolic link, wherever it leads.
bool isSymbolicLink(const std::filesystem::path& path);

// The names (leaves) in folder, "." and ".." left out, in the folder's own order: as many as
// could be read when the listing fails on the way, none when the folder cannot be opened.
std::vector<std::filesystem::path> folderEntries(const std::filesystem::path& folder);

// Whether a file list leaves the file at path out as hidden: a leading dot on POSIX systems, the
// hidden or system attribute on Windows.
bool isHidden(const std::filesystem::path& path);

// Opens path for reading, without waiting (a fifo put in a file's place must not hang a batch),
// and refuses anything that is not a regular file once open. length receives its size.
std::error_code openForReading(const std::filesystem::path& path, NativeFile& file,
                               std::int64_t& length);

// Closes a file that openForReading opened; kNoFile is let be.
void closeFile(NativeFile file);

// Reads from offset until size bytes are in or the file ends; got tells how many arrived.
std::error_code readAt(NativeFile file, std::uint8_t* data, std::size_t size, std::int64_t offset,
                       std::size_t& got);

// Writes all size bytes, however many calls that takes.
std::error_code writeAll(NativeFile file, const std::uint8_t* data, std::size_t size);

// Appends bytes offset to offset + remaining - 1 of input to output without their passing through
// the program (copy_file_range), moving offset on and remaining down as they go. Answers
// std::errc::not_supported, with the rest still to copy, where the platform cannot do it for
// this pair of files: the caller then copies the rest through a buffer of its own.
std::error_code copyInKernel(NativeFile input, std::int64_t& offset, NativeFile output,
                             std::int64_t& remaining);

// Paths as the program's text (UTF-8) and back. Names on Windows are UTF-16 and must never pass
// through the ANSI code page (path::string() there); on POSIX systems the bytes stay as they are.
std::string utf8Text(const std::filesystem::path& path);
std::filesystem::path pathFromUtf8(const std::string& text);

// A buffer that reads fill before anything looks at it: not zeroed first where the library can
// leave it as it is (the C++ library of Emscripten cannot yet).
std::unique_ptr<std::uint8_t[]> uninitialisedBuffer(std::size_t size);

} // namespace twinframe
