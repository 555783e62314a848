// The file calls of the core on Windows that put files on the disk (wide-character Win32 calls
// only, so that every name reaches the system as the UTF-16 it is, and the system's own reasons
// in every failure): written whole into temporaries, then given their names, alone or staged
// and published together.
#include "platform/fileSystem.h"

#include "platform/failure.h"
#include "platform/handlesWindows.h"
#include "platform/staging.h"
#include "platform/utf16.h"
#include "platform/windowsError.h"

#include <windows.h>

#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace twinframe {

using namespace win32;

namespace {

// Hidden, so that the file lists never show it, and named after this process, so that a later
// run can tell one left by a process that is gone from one still being written.
std::filesystem::path temporaryNameBeside(const std::filesystem::path& target) {
    static std::mt19937_64 generator{std::random_device{}()};
    return target.parent_path() / pathFromUtf8(temporaryLeaf(currentProcessId(), generator()));
}

// A temporary file that did not exist before, shared with nobody while it is written. DELETE
// access lets the open handle mark it for removal and give it its final name.
HANDLE createTemporary(const std::filesystem::path& target, std::filesystem::path& temporary,
                       std::error_code& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporaryNameBeside(target);
        const HANDLE handle = ::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                            CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            return handle;
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            error = windowsError(code);
            return INVALID_HANDLE_VALUE;
        }
    }
    error = std::make_error_code(std::errc::file_exists);
    return INVALID_HANDLE_VALUE;
}

// Whether the system removes the file when its last handle closes, which it does for a process
// that is killed too: a temporary marked so cannot outlive the process that writes it.
bool setRemovedOnClose(HANDLE file, bool removed) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = removed ? TRUE : FALSE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition,
                                        sizeof disposition) != 0;
}

// The final file must not keep the temporary's hidden attribute.
std::error_code unhide(HANDLE file) {
    FILE_BASIC_INFO basic{}; // times left at zero are left as they are
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    if (!::SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic))
        return lastWindowsError();
    return {};
}

// The kernel's form of an absolute path, which the rename of an open file takes.
std::wstring kernelPathOf(const std::filesystem::path& path) {
    std::error_code error;
    // The kernel knows only backslashes as separators.
    const std::wstring absolute =
        std::filesystem::absolute(path, error).lexically_normal().make_preferred().native();
    if (absolute.starts_with(L"\\\\?\\"))
        return L"\\??\\" + absolute.substr(4);
    if (absolute.starts_with(L"\\\\"))
        return L"\\??\\UNC\\" + absolute.substr(2);
    return L"\\??\\" + absolute;
}

// Gives the open file the name target, replacing a file that has it only when asked to; without
// replacing, a file of that name makes it fail with ERROR_ALREADY_EXISTS.
std::error_code renameOpenFile(HANDLE file, const std::filesystem::path& target, bool replace) {
    const std::wstring name = kernelPathOf(target);
    const std::size_t nameBytes = name.size() * sizeof(wchar_t);
    std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::copy(name.begin(), name.end(), rename->FileName);
    if (!::SetFileInformationByHandle(file, FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size())))
        return lastWindowsError();
    return {};
}

// A rename refused with "Access is denied" has a clearer reason to tell when it can be found: a
// folder in the way, or another program holding the target open without letting others delete
// it (a sharing violation).
std::error_code clearerRenameError(const std::filesystem::path& target, std::error_code error) {
    if (error != windowsError(ERROR_ACCESS_DENIED))
        return error;
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::make_error_code(std::errc::is_a_directory);
    const HANDLE probe = ::CreateFileW(target.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        ::CloseHandle(probe);
        return error;
    }
    const DWORD code = ::GetLastError();
    return code == ERROR_SHARING_VIOLATION ? windowsError(code) : error;
}

// Windows never replaces a read-only file by a rename (Wine does): a file the user made
// read-only is refused the same way everywhere, before anything is written.
bool isReadOnlyFile(const std::filesystem::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::error_code noteIdentity(HANDLE file, FileIdentity* written) {
    if (written == nullptr)
        return {};
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file, &information))
        return lastWindowsError();
    *written = identityFrom(information);
    return {};
}

// The temporary's last steps while it is still open: it is no longer to be removed, it shows,
// and it takes the target's name. If anything fails it is marked for removal again.
std::error_code putInPlace(HANDLE file, const std::filesystem::path& target,
                           ExistingFile existing) {
    std::error_code error = unhide(file);
    if (!error && !setRemovedOnClose(file, false))
        error = lastWindowsError();
    if (!error)
        error = renameOpenFile(file, target, existing == ExistingFile::replace);
    if (error)
        setRemovedOnClose(file, true);
    return error;
}

// Where the open file cannot be marked for removal: the temporary is closed first, then moved.
std::error_code moveClosedIntoPlace(const std::filesystem::path& temporary,
                                    const std::filesystem::path& target, ExistingFile existing) {
    const DWORD flags = existing == ExistingFile::replace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (!::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL) ||
        !::MoveFileExW(temporary.c_str(), target.c_str(), flags)) {
        const std::error_code error = lastWindowsError();
        ::DeleteFileW(temporary.c_str());
        return error;
    }
    return {};
}
std::error_code flushData(HANDLE file) {
    if (!::FlushFileBuffers(file))
        return lastWindowsError();
    return {};
}

// The folder whose entry names target, to be flushed once target has its name.
std::filesystem::path folderOfTarget(const std::filesystem::path& target) {
    return target.has_parent_path() ? target.parent_path() : pathFromUtf8(".");
}

} // namespace

std::error_code writeFileAtomically(const std::filesystem::path& target,
                                    const std::function<std::error_code(NativeFile)>& writeContent,
                                    FileIdentity* written, TemporaryKind /*kind*/,
                                    ExistingFile existing, std::filesystem::perms /*permissions*/) {
    // Permission bits have no counterpart here: a new file takes the access rights its folder
    // gives every new file, as a copy made by Explorer does.
    // Checked first so that an existing file costs no writing; the final step checks again.
    if (existing == ExistingFile::keep && nameIsTaken(target))
        return std::make_error_code(std::errc::file_exists);
    if (existing == ExistingFile::replace && isReadOnlyFile(target))
        return windowsError(ERROR_ACCESS_DENIED);

    std::filesystem::path temporary;
    std::error_code error;
    const HANDLE file = createTemporary(target, temporary, error);
    if (file == INVALID_HANDLE_VALUE)
        return error;
    const bool removedOnClose = setRemovedOnClose(file, true);
    error = writeContent(nativeFileOf(file));
    if (!error)
        error = noteIdentity(file, written);
    // Its bytes on the disk before it has its name: a power cut never leaves the name on less.
    if (!error)
        error = flushData(file);
    if (!error && removedOnClose)
        error = clearerRenameError(target, putInPlace(file, target, existing));
    ::CloseHandle(file);
    if (!removedOnClose) {
        if (error) {
            ::DeleteFileW(temporary.c_str());
            return error;
        }
        error = clearerRenameError(target, moveClosedIntoPlace(temporary, target, existing));
    }
    if (!error)
        error = flushFolder(folderOfTarget(target));
    return error;
}

namespace {

void closeStaged(StagedFile& file) {
    if (file.file != kNoFile)
        ::CloseHandle(handleOf(file.file));
    file.file = kNoFile;
}

} // namespace

std::error_code staging::whyNotNameable(const std::filesystem::path& target,
                                        ExistingFile existing) {
    // A folder in the way is told as such whatever the file would have done to a file there.
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::make_error_code(std::errc::is_a_directory);
    if (existing == ExistingFile::keep)
        return nameIsTaken(target) ? std::make_error_code(std::errc::file_exists)
                                   : std::error_code{};
    if (isReadOnlyFile(target))
        return windowsError(ERROR_ACCESS_DENIED);
    return {};
}

std::error_code staging::nameStaged(StagedFile& file, ExistingFile existing) {
    if (file.file != kNoFile && file.removedOnClose) {
        const std::error_code error =
            clearerRenameError(file.target, putInPlace(handleOf(file.file), file.target, existing));
        closeStaged(file); // named, or removed again on failure
        if (error)
            return error;
        file.temporary.clear();
        return {};
    }
    closeStaged(file);
    // MoveFileExW without MOVEFILE_REPLACE_EXISTING fails rather than replace, for keep.
    if (const std::error_code error = clearerRenameError(
            file.target, moveClosedIntoPlace(file.temporary, file.target, existing)))
        return error;
    file.temporary.clear();
    return {};
}

std::error_code stageFile(const std::filesystem::path& target,
                          const std::function<std::error_code(NativeFile)>& writeContent,
                          std::filesystem::perms /*permissions*/, bool holdOpen, StagedFile& staged,
                          const PublishWatcher& watcher) {
    staged = StagedFile{};
    staged.target = target;
    std::error_code error;
    const HANDLE file = createTemporary(target, staged.temporary, error);
    if (file == INVALID_HANDLE_VALUE)
        return error;
    staged.file = nativeFileOf(file);
    staged.removedOnClose = setRemovedOnClose(file, true);
    error = writeContent(staged.file);
    if (!error)
        error = noteIdentity(file, &staged.identity);
    // Windows has no call that starts the write-back alone: the flush before naming does it all.
    if (!error && !holdOpen) {
        staging::tell(watcher, PublishStep::flushData, target);
        error = flushData(file);
        staged.dataFlushed = !error;
        if (!error && staged.removedOnClose && !setRemovedOnClose(file, false))
            error = lastWindowsError();
        if (!error) {
            staged.removedOnClose = false;
            closeStaged(staged);
        }
    }
    if (error)
        discardStaged(staged);
    return error;
}

std::error_code staging::flushStagedData(const StagedFile& file) {
    return flushData(handleOf(file.file));
}

void staging::removeName(const std::filesystem::path& target) {
    ::DeleteFileW(target.c_str());
}

void discardStaged(StagedFile& file) {
    const bool goesByItself = file.file != kNoFile && file.removedOnClose;
    closeStaged(file);
    if (!goesByItself && !file.temporary.empty())
        ::DeleteFileW(file.temporary.c_str());
    file.temporary.clear();
}

std::error_code flushFolder(const std::filesystem::path& folder) {
    // NTFS journals its names itself; a folder handle flushes them where the file system allows
    // (it needs write access), and where it does not, there is nothing more to ask.
    const HANDLE handle = ::CreateFileW(folder.c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return {};
    ::FlushFileBuffers(handle);
    ::CloseHandle(handle);
    return {};
}

} // namespace twinframe
