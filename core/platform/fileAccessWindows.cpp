// The file calls of the core on Windows that read, look at and list files, and the processes
// that write temporaries: wide-character Win32 calls only.
#include "platform/fileSystem.h"

#include "platform/failure.h"
#include "platform/handlesWindows.h"
#include "platform/utf16.h"
#include "platform/windowsError.h"

#include <windows.h>

#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace twinframe {

using namespace win32;

std::error_code readAt(NativeFile file, std::uint8_t* data, std::size_t size, std::int64_t offset,
                       std::size_t& got) {
    got = 0;
    while (got < size) {
        const auto position = static_cast<std::uint64_t>(offset) + got;
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        const auto wanted = static_cast<DWORD>(
            std::min<std::size_t>(size - got, std::numeric_limits<DWORD>::max()));
        DWORD read = 0;
        if (!::ReadFile(handleOf(file), data + got, wanted, &read, &at)) {
            const DWORD code = ::GetLastError();
            if (code == ERROR_HANDLE_EOF)
                break;
            return windowsError(code);
        }
        if (read == 0)
            break;
        got += read;
    }
    return {};
}

std::error_code writeAll(NativeFile file, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const auto wanted =
            static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max()));
        DWORD writtenNow = 0;
        if (!::WriteFile(handleOf(file), data, wanted, &writtenNow, nullptr))
            return lastWindowsError();
        data += writtenNow;
        size -= writtenNow;
    }
    return {};
}

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
    // No access asked for: a file another program holds without sharing still has an identity.
    const HANDLE file = ::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = ::GetFileInformationByHandle(file, &information) != 0;
    ::CloseHandle(file);
    if (!known)
        return std::nullopt;
    return identityFrom(information);
}

bool nameIsTaken(const std::filesystem::path& path) {
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return true;
    // Anything but "not there" (a file locked by the system, say) means something has the name.
    return !isMissing(::GetLastError());
}

std::string utf8Text(const std::filesystem::path& path) {
    return utf8FromUtf16(path.native());
}

std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(utf16FromUtf8(text));
}

bool isHidden(const std::filesystem::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

std::error_code openForReading(const std::filesystem::path& path, NativeFile& file,
                               std::int64_t& length) {
    file = kNoFile;
    length = 0;
    // Others may go on reading, writing, renaming or deleting it: a changed file is caught by its
    // length, as on POSIX systems.
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const std::error_code error = lastWindowsError();
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return std::make_error_code(std::errc::is_a_directory);
        return error;
    }
    std::error_code error;
    LARGE_INTEGER size{};
    // A pipe or a device given in a file's place is no file to split.
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        error = make_error_code(Refusal::notRegularFile);
    else if (!::GetFileSizeEx(handle, &size))
        error = lastWindowsError();
    if (error) {
        ::CloseHandle(handle);
        return error;
    }
    file = nativeFileOf(handle);
    length = size.QuadPart;
    return {};
}

void closeFile(NativeFile file) {
    if (file != kNoFile)
        ::CloseHandle(handleOf(file));
}

std::error_code copyInKernel(NativeFile /*input*/, std::int64_t& /*offset*/, NativeFile /*output*/,
                             std::int64_t& /*remaining*/) {
    // Windows has no call that copies a range of one open file to another.
    return std::make_error_code(std::errc::not_supported);
}

std::filesystem::perms permissionsOf(NativeFile file) {
    namespace fs = std::filesystem;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(handleOf(file), &information))
        return fs::perms::unknown;
    const fs::perms readable =
        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
        return readable;
    return readable | fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
}

std::uint64_t currentProcessId() {
    return ::GetCurrentProcessId();
}

bool removeIfAbandoned(const std::filesystem::path& temporary, std::uint64_t writer) {
    // A writer holds its temporary open without sharing its deletion, so the system refuses to
    // delete it while the writer lives, on this machine or on another sharing the folder. A
    // writer here is asked about as well, for the instant between the close and the rename of a
    // temporary that could not be marked for removal on close.
    if (writer == currentProcessId() || processIsRunning(writer))
        return false;
    return ::DeleteFileW(temporary.c_str()) != 0;
}

bool processIsRunning(std::uint64_t processId) {
    if (processId > std::numeric_limits<DWORD>::max())
        return false;
    const HANDLE process =
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
    if (process == nullptr)
        return ::GetLastError() == ERROR_ACCESS_DENIED; // there, but another user's
    DWORD exitCode = 0;
    const bool running = ::GetExitCodeProcess(process, &exitCode) != 0 && exitCode == STILL_ACTIVE;
    ::CloseHandle(process);
    return running;
}

std::error_code fileKindOf(const std::filesystem::path& path, FileKind& kind) {
    // No access asked for, and links followed: what the name leads to, even held by another.
    const HANDLE file = ::CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (isMissing(code)) {
            // The C library's reason, as std::filesystem told it, so messages read the same.
            kind = FileKind::notFound;
            return std::make_error_code(std::errc::no_such_file_or_directory);
        }
        kind = FileKind::unknown;
        return windowsError(code);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    std::error_code error;
    if (!::GetFileInformationByHandle(file, &information)) {
        error = lastWindowsError();
        kind = FileKind::unknown;
    } else if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        kind = FileKind::directory;
    } else {
        kind = ::GetFileType(file) == FILE_TYPE_DISK ? FileKind::regular : FileKind::other;
    }
    ::CloseHandle(file);
    return error;
}

bool isSymbolicLink(const std::filesystem::path& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    // Other reparse points (a cloud folder's placeholders, say) are the files they stand for.
    WIN32_FIND_DATAW data{};
    const HANDLE found = ::FindFirstFileW(path.c_str(), &data);
    if (found == INVALID_HANDLE_VALUE)
        return false;
    ::FindClose(found);
    return data.dwReserved0 == IO_REPARSE_TAG_SYMLINK;
}

std::vector<std::filesystem::path> folderEntries(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> names;
    if (folder.empty())
        return names;
    WIN32_FIND_DATAW data{};
    const HANDLE found =
        ::FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                           nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (found == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L"..")
            names.emplace_back(name);
    } while (::FindNextFileW(found, &data));
    ::FindClose(found);
    return names;
}

} // namespace twinframe
