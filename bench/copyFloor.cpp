// The I/O floor of a durable split: each FILE cut at its middle into two files beside it
// (NAME-a.jpg and NAME-b.jpg), with exactly the flushes the split makes and nothing else: each
// output written into an unnamed file by an in-kernel copy, its write-back started at once, the
// two flushed together and then named, the folder flushed once at the end. No parsing, no checks.
// Usage: twinframe-copy-floor FILE...   (Linux)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int fail(const std::string& what) {
    std::fprintf(stderr, "twinframe-copy-floor: %s: %s\n", what.c_str(), std::strerror(errno));
    return 1;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

} // namespace

int main(int argc, char** argv) {
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string input = argv[i];
        folder = folderOf(input);
        const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat status {};
        if (in < 0 || ::fstat(in, &status) != 0)
            return fail(input);
        const off_t half = status.st_size / 2;
        const off_t starts[2] = {0, half};
        const off_t lengths[2] = {half, status.st_size - half};
        int outputs[2];
        for (int k = 0; k < 2; ++k) {
            outputs[k] = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
            if (outputs[k] < 0)
                return fail(folder);
            off_t from = starts[k];
            for (off_t left = lengths[k]; left > 0;) {
                const ssize_t n = ::copy_file_range(in, &from, outputs[k], nullptr,
                                                    static_cast<std::size_t>(left), 0);
                if (n <= 0)
                    return fail(input);
                left -= n;
            }
            ::sync_file_range(outputs[k], 0, 0, SYNC_FILE_RANGE_WRITE);
        }
        ::close(in);
        for (const int output : outputs)
            if (::fdatasync(output) != 0)
                return fail(input);
        const std::string base = input.substr(0, input.size() - 4);
        for (int k = 0; k < 2; ++k) {
            const std::string name = base + (k == 0 ? "-a.jpg" : "-b.jpg");
            const std::string link = "/proc/self/fd/" + std::to_string(outputs[k]);
            if (::linkat(AT_FDCWD, link.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0)
                return fail(name);
            ::close(outputs[k]);
        }
    }
    if (!folder.empty()) {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 || ::fsync(fd) != 0)
            return fail(folder);
        ::close(fd);
    }
    return 0;
}
