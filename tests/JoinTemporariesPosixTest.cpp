// Joins killed on a memory card and temporaries seen from another PID namespace: a FUSE exFAT
// image, SIGKILL and unshare, as root on Linux (each test skips with its reason otherwise).
#include "CliRunPosix.h"
#include "JpegBuilder.h"
#include "platform/fileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace twinframe;
using namespace twinframe::test;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// What a shell command prints, and whether it succeeded.
bool shellOutput(const std::string& command, std::string& output) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return false;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        output += buffer;
    while (!output.empty() && output.back() == '\n')
        output.pop_back();
    return ::pclose(pipe) == 0;
}

// A camera's card as Linux reads it without a kernel driver: an exFAT image on a loop device,
// mounted through exfat-fuse, which can neither rename without replacing nor make hard links.
class FuseExfatCard {
  public:
    explicit FuseExfatCard(const TempDir& dir) : folder_(dir / "card") {
        if (::geteuid() != 0) {
            skipReason_ = "a loop device needs root";
            return;
        }
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            skipReason_ = "no /dev/fuse here";
            return;
        }
        const fs::path image = dir / ".card.img";
        std::string ignored;
        if (!shellOutput("command -v mkfs.exfat && command -v mount.exfat-fuse && "
                         "command -v losetup",
                         ignored)) {
            skipReason_ = "needs mkfs.exfat (exfatprogs), mount.exfat-fuse (exfat-fuse), losetup";
            return;
        }
        fs::create_directory(folder_);
        if (!shellOutput("truncate -s 96M '" + image.string() + "' && mkfs.exfat '" +
                             image.string() + "' >/dev/null 2>&1 && losetup -f --show '" +
                             image.string() + "'",
                         device_)) {
            skipReason_ = "cannot make an exFAT image on a loop device";
            device_.clear();
            return;
        }
        if (std::system(
                ("mount.exfat-fuse '" + device_ + "' '" + folder_.string() + "' >/dev/null 2>&1")
                    .c_str()) != 0) {
            skipReason_ = "exfat-fuse cannot mount here";
            return;
        }
        mounted_ = true;
    }
    ~FuseExfatCard() {
        if (mounted_)
            (void)std::system(("umount '" + folder_.string() + "'").c_str());
        if (!device_.empty())
            (void)std::system(("losetup -d '" + device_ + "'").c_str());
    }
    FuseExfatCard(const FuseExfatCard&) = delete;
    FuseExfatCard& operator=(const FuseExfatCard&) = delete;

    const std::string& skipReason() const { return skipReason_; }
    const fs::path& folder() const { return folder_; }

  private:
    fs::path folder_;
    std::string device_;
    std::string skipReason_;
    bool mounted_ = false;
};

// Starts twinframe-cli in folder with arguments, its output thrown away, and returns at once.
pid_t startCli(const TempDir& folder, const std::vector<std::string>& arguments) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        execCliIn(folder, arguments);
    }
    return child;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// A join killed at any moment leaves under each NAME.mpo the complete file or nothing, and the
// plain run after it joins every pair still missing, leaving no temporary behind.
TEST(JoinKilled, OnAFuseExfatCardLeavesWholeFilesOrNoneAndARerunFinishes) {
    TempDir dir;
    FuseExfatCard card(dir);
    if (!card.skipReason().empty())
        GTEST_SKIP() << card.skipReason();

    constexpr int kPairs = 10;
    std::vector<std::string> pictures;
    for (int pair = 0; pair < kPairs; ++pair) {
        const std::string name = "p" + std::to_string(pair);
        for (const char* side : {"-L.jpg", "-R.jpg"}) {
            const auto seed = static_cast<std::uint32_t>(2 * pair + (side[1] == 'R'));
            writeBytes(card.folder() / (name + side),
                       buildJpeg({.dataSize = 20'000, .seed = seed}).bytes);
            pictures.push_back(name + side);
        }
    }
    std::sort(pictures.begin(), pictures.end());

    // The files every join must give: those of an unbroken run, on the card itself.
    const auto started = Clock::now();
    const CliRun first = runCli(dir, "--join --quiet card");
    const auto wholeRun = Clock::now() - started;
    ASSERT_EQ(first.exitCode, 0) << first.err;
    std::map<std::string, Bytes> joined;
    for (int pair = 0; pair < kPairs; ++pair) {
        const std::string output = "p" + std::to_string(pair) + ".mpo";
        joined[output] = readBytes(card.folder() / output);
        ASSERT_GT(joined[output].size(), 40'000u);
    }
    std::vector<std::string> everything = pictures;
    for (const auto& [output, bytes] : joined)
        everything.push_back(output);
    std::sort(everything.begin(), everything.end());

    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<long long> moment(
        0, std::chrono::duration_cast<std::chrono::microseconds>(wholeRun).count());
    for (int round = 0; round < 30; ++round) {
        for (const auto& [output, bytes] : joined)
            fs::remove(card.folder() / output);
        const pid_t child = startCli(dir, {"--join", "--quiet", "card"});
        ASSERT_GT(child, 0);
        const auto killedAfter = std::chrono::microseconds(moment(random));
        std::this_thread::sleep_for(killedAfter);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        SCOPED_TRACE("killed after " + std::to_string(killedAfter.count()) + " us, round " +
                     std::to_string(round));

        for (const auto& [output, bytes] : joined) {
            if (!fs::exists(card.folder() / output))
                continue;
            EXPECT_TRUE(readBytes(card.folder() / output) == bytes)
                << output << " has " << fs::file_size(card.folder() / output) << " bytes";
        }

        const CliRun rerun = runCli(dir, "--join --quiet card");
        EXPECT_LE(rerun.exitCode, 1) << rerun.err;
        std::string refusals = rerun.err;
        for (const auto& [output, bytes] : joined) {
            EXPECT_TRUE(readBytes(card.folder() / output) == bytes) << output;
            const std::string refused =
                "twinframe-cli: Cannot write card/" + output + ": a file of that name exists\n";
            if (const auto at = refusals.find(refused); at != std::string::npos)
                refusals.erase(at, refused.size());
        }
        EXPECT_EQ(refusals, "");
        EXPECT_EQ(namesIn(card.folder()), everything);
        if (HasFailure())
            break;
    }
}

// A run in a container (its own PID namespace) sees none of the host's processes, yet a
// temporary that a host process is still writing beside its pictures is left alone.
TEST(JoinTemporaries, ARunInAnotherPidNamespaceKeepsALiveWritersTemporary) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "unshare --pid needs root";
    std::string ignored;
    if (!shellOutput("unshare --pid --fork true 2>&1", ignored))
        GTEST_SKIP() << "unshare --pid does not work here: " << ignored;
    TempDir dir;
    writeBytes(dir / "a-L.jpg", buildJpeg({.seed = 1}).bytes);
    writeBytes(dir / "a-R.jpg", buildJpeg({.seed = 2}).bytes);
    const Bytes picture = buildJpeg({.seed = 3}).bytes;

    CliRun contained;
    std::vector<std::string> whileWriting;
    const std::error_code error = writeFileAtomically(
        dir / "b-L.jpg",
        [&](NativeFile file) {
            if (const std::error_code half = writeAll(file, picture.data(), picture.size() / 2))
                return half;
            // The join looks for abandoned temporaries in the folder it writes to.
            contained = runProgram("unshare", dir,
                                   std::string("--pid --fork '") + TWINFRAME_CLI +
                                       "' --join --quiet a-L.jpg");
            whileWriting = dir.names();
            return writeAll(file, picture.data() + picture.size() / 2,
                            picture.size() - picture.size() / 2);
        },
        nullptr, TemporaryKind::named);
    EXPECT_EQ(contained.exitCode, 0) << contained.err;
    EXPECT_FALSE(error) << error.message();
    ASSERT_EQ(whileWriting.size(), 4u);
    EXPECT_TRUE(writerOfTemporary(whileWriting[0])); // still there after the contained run
    EXPECT_EQ(readBytes(dir / "b-L.jpg"), picture);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a-L.jpg", "a-R.jpg", "a.mpo", "b-L.jpg"}));
}

// The lock decides, not the process id in the name: a temporary of this very process that no
// writer holds is removed at once (a writer of the same id in another namespace that died), and
// one this process is writing is kept.
TEST(JoinTemporaries, OnlyATemporaryNoWriterHoldsIsRemoved) {
    TempDir dir;
    const std::string unheld = temporaryLeaf(currentProcessId(), 1);
    writeBytes(dir / unheld, {1, 2, 3});
    EXPECT_TRUE(removeIfAbandoned(dir / unheld, currentProcessId()));
    EXPECT_TRUE(dir.names().empty());

    bool removedWhileWriting = true;
    const std::error_code error = writeFileAtomically(
        dir / "a.mpo",
        [&](NativeFile file) {
            const std::vector<std::string> names = dir.names();
            removedWhileWriting = names.size() != 1 || removeIfAbandoned(dir / names[0], 1);
            return writeAll(file, reinterpret_cast<const std::uint8_t*>("whole"), 5);
        },
        nullptr, TemporaryKind::named);
    EXPECT_FALSE(error);
    EXPECT_FALSE(removedWhileWriting);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.mpo"});
}
