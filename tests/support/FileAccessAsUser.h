#pragma once

// Linux only: permissions, for real, in a test that may run as root (as CI does), who reads and
// searches any folder whatever its permissions say.
#include "MpoBuilder.h"

#include <filesystem>
#include <initializer_list>
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

// A folder card/ in dir holding a stereo MPO under each of names, which a user who is not root
// may list but not search while withoutSearch runs: each file in it is seen and none can be read.
class UnsearchableFolder {
  public:
    UnsearchableFolder(const TempDir& dir, std::initializer_list<const char*> names)
        : path_(dir / "card") {
        namespace fs = std::filesystem;
        fs::permissions(dir.path(), fs::perms(0755)); // nobody reaches card/ through it
        fs::create_directory(path_);
        for (const char* name : names)
            writeBytes(path_ / name, mpoWithImagesAt(10'000, {0, 5'000}));
    }
    ~UnsearchableFolder() { searchable(); } // the test's folder is removed whatever happened
    UnsearchableFolder(const UnsearchableFolder&) = delete;
    UnsearchableFolder& operator=(const UnsearchableFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Runs work with the folder listable but not searchable, as a user whom permissions bind;
    // false where they could not bind (root that cannot give up its power): the test skips.
    template <typename Work> bool withoutSearch(Work&& work) {
        std::filesystem::permissions(path_, std::filesystem::perms(0444));
        bool bound = false;
        {
            const FileAccessAsUser asUser;
            bound = FileAccessAsUser::permissionsBind();
            work();
        }
        searchable();
        return bound;
    }

  private:
    void searchable() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms(0755), ignored);
    }
    std::filesystem::path path_;
};

} // namespace twinframe::test
