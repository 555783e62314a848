#include "fileSystem.h"

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

// Hidden, so that the file lists never show it, and marked as ours in case a power cut leaves one.
std::filesystem::path temporaryNameBeside(const std::filesystem::path& target) {
    static std::mt19937_64 generator{std::random_device{}()};
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(generator()));
    return target.parent_path() / (".twinframe-" + std::string(suffix) + ".tmp");
}

// Creates a temporary file that did not exist before, with the permissions the user's umask gives
// any new file (as the final file would have had if written in place).
int createTemporary(const std::filesystem::path& target, std::filesystem::path& temporary,
                    std::error_code& error) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = temporaryNameBeside(target);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0)
            return fd;
        if (errno != EEXIST) {
            error = lastSystemError();
            return -1;
        }
    }
    error = std::make_error_code(std::errc::file_exists);
    return -1;
}

} // namespace

std::error_code writeFileAtomically(const std::filesystem::path& target,
                                    const std::function<std::error_code(int fd)>& writeContent,
                                    FileIdentity* written) {
    std::filesystem::path temporary;
    std::error_code error;
    const int fd = createTemporary(target, temporary, error);
    if (fd < 0)
        return error;

    error = writeContent(fd);
    struct stat status {};
    if (!error && written != nullptr) {
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
    if (!error && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = lastSystemError();
    if (error)
        ::unlink(temporary.c_str());
    return error;
}

std::optional<FileIdentity> identityOf(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
}

} // namespace twinframe
