#pragma once

// Linux only: permissions, for real, in a test that may run as root (as CI does), who reads and
// searches any folder whatever its permissions say.
#include <sys/fsuid.h>
#include <unistd.h>

namespace twinframe::test {

// While it lives, files are opened and looked at as a user who is not root: where the test runs
// as root, this thread's file system user becomes nobody's (65534), which drops root's power to
// pass over permissions, for this thread and the threads it starts meanwhile (a window's batch).
// Otherwise the test's own user is not root already and nothing changes.
class FileAccessAsUser {
  public:
    FileAccessAsUser() : wasRoot_(::geteuid() == 0) {
        if (wasRoot_)
            ::setfsuid(kNobody);
    }
    ~FileAccessAsUser() {
        if (wasRoot_)
            ::setfsuid(0);
    }
    FileAccessAsUser(const FileAccessAsUser&) = delete;
    FileAccessAsUser& operator=(const FileAccessAsUser&) = delete;

    // Whether permissions now bind this thread: false where root could not give up its power.
    static bool permissionsBind() {
        // An id that cannot be taken leaves the file system user as it is, and returns it.
        return static_cast<int>(::setfsuid(static_cast<uid_t>(-1))) != 0;
    }

  private:
    static constexpr uid_t kNobody = 65534;
    bool wasRoot_;
};

} // namespace twinframe::test
