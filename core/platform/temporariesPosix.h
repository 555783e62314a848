#pragma once

// The temporaries of the file layer on POSIX systems (and under Emscripten): their names, their
// creation and the writer's lock that tells a live one from an abandoned one. Only the platform's
// own POSIX files use these.
#include "platform/fileSystem.h"

#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace twinframe::posix {

// A hidden name beside target for a temporary of this process.
std::filesystem::path temporaryNameBeside(const std::filesystem::path& target);

// The mode a new file is created with; open() takes the umask off it, as cp does for a copy.
mode_t creationMode(std::filesystem::perms permissions);

// What a lock asked of a temporary got: it, a refusal because another holds one, or nothing
// because the file system keeps no locks.
enum class LockAnswer { locked, heldByAnother, noLocks };

// Takes the writer's lock on a temporary (waiting for it), or clean-up's (without waiting).
LockAnswer lockTemporary(int fd, bool writer);

bool sameFile(const struct stat& a, const struct stat& b);

// Creates a temporary beside target that did not exist before, with mode less the user's umask,
// holding the writer's lock on it; -1 and error when it cannot.
int createTemporary(const std::filesystem::path& target, mode_t mode,
                    std::filesystem::path& temporary, std::error_code& error);

// An unnamed file in target's folder (O_TMPFILE), or -1 where there can be none.
int createUnnamed(const std::filesystem::path& target, mode_t mode);

} // namespace twinframe::posix
