// What the core does with Windows file names, sharing and attributes.
#include "CliRun.h"
#include "JpegBuilder.h"
#include "MpoBuilder.h"
#include "join/joinBatch.h"
#include "join/joinPair.h"
#include "platform/windowsError.h"
#include "split/runBatch.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

using namespace twinframe;
using namespace twinframe::test;

namespace {

using Names = std::vector<std::string>;

BatchResult split(const TempDir& dir, const Names& names, RecordingReporter& reporter) {
    return runBatch(
        allSelected(names), dir.path(), [] { return false; }, reporter);
}

const std::string kEmojiName = "\xF0\x9F\x93\xB7 pair.mpo"; // a camera, outside the BMP

// The text Windows gives for a reason, as messages show it.
std::string reasonText(DWORD code) {
    return windowsError(code).message();
}

} // namespace

TEST(WindowsNames, UnicodeNamesSplitAndJoin) {
    TempDir dir;
    const Bytes pair = mpoWithImagesAt(20'000, {0, 10'000});
    for (const std::string& name :
         {std::string("Café 3D.MPO"), std::string("日本語.mpo"), kEmojiName})
        writeBytes(dir / name, pair);
    RecordingReporter reporter;
    const BatchResult result = split(dir, {"Café 3D.MPO", "日本語.mpo", kEmojiName}, reporter);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_EQ(result.totalImages, 6);
    for (const std::string& stem :
         {std::string("Café 3D"), std::string("日本語"), std::string("\xF0\x9F\x93\xB7 pair")}) {
        EXPECT_EQ(readBytes(dir / (stem + "-L.jpg")), slice(pair, 0, 9'999)) << stem;
        EXPECT_EQ(readBytes(dir / (stem + "-R.jpg")), slice(pair, 10'000, 19'999)) << stem;
    }

    const Bytes picture = buildJpeg({}).bytes;
    writeBytes(dir / "日本-L.jpg", picture);
    writeBytes(dir / "日本-R.jpg", picture);
    const std::string left = utf8Text(dir / "日本-L.jpg");
    EXPECT_EQ(joinPairs(std::vector<std::string>{left}, std::nullopt, reporter).joined, 1);
    EXPECT_TRUE(std::filesystem::exists(dir / "日本.mpo"));
    // Never over a file that is there: the second join is refused and the first MPO stays.
    const Bytes joined = readBytes(dir / "日本.mpo");
    EXPECT_EQ(joinPairs(std::vector<std::string>{left}, std::nullopt, reporter).joined, 0);
    EXPECT_EQ(reporter.messages,
              Names{"Cannot write " + utf8Text(dir / "日本.mpo") + ": a file of that name exists"});
    EXPECT_EQ(readBytes(dir / "日本.mpo"), joined);
}

TEST(WindowsNames, NamesDifferingInCaseAreOneFileInOneBatch) {
    TempDir dir;
    const Bytes pair = mpoWithImagesAt(20'000, {0, 10'000});
    writeBytes(dir / "a.MPO", pair);
    RecordingReporter reporter;
    const BatchResult result = split(dir, {"a.MPO", "A.mpo"}, reporter);
    EXPECT_EQ(result.totalImages, 2);
    EXPECT_EQ(reporter.messages,
              Names{"A.mpo not split: A-L.jpg was already written in this batch from a.MPO"});
    EXPECT_EQ(dir.names(), (Names{"a-L.jpg", "a-R.jpg", "a.MPO"}));
}

TEST(WindowsSharing, OutputHeldOpenWithoutSharingIsToldAndTheBatchGoesOn) {
    TempDir dir;
    const Bytes pair = mpoWithImagesAt(20'000, {0, 10'000});
    writeBytes(dir / "a.mpo", pair);
    writeBytes(dir / "b.mpo", pair);
    writeBytes(dir / "a-R.jpg", Bytes(10, 7)); // an earlier run's, open in a viewer
    // Another program holds it until the marker it makes (beside the test's folder) is removed.
    const std::filesystem::path marker =
        dir.path().parent_path() / (dir.path().filename().native() + L".held");
    std::wstring commandLine =
        L"hold \"" + (dir / "a-R.jpg").native() + L"\" \"" + marker.native() + L"\"";
    const std::filesystem::path holder = std::filesystem::absolute(TWINFRAME_HOLD_OPEN);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(holder.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                 nullptr, nullptr, &startup, &process));
    for (int waited = 0; waited < 3000 && !std::filesystem::exists(marker); ++waited)
        ::Sleep(10);
    ASSERT_TRUE(std::filesystem::exists(marker));
    RecordingReporter reporter;
    const BatchResult result = split(dir, {"a.mpo", "b.mpo"}, reporter);
    std::filesystem::remove(marker);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    EXPECT_EQ(reporter.messages,
              Names{"Cannot write a-R.jpg: " + reasonText(ERROR_SHARING_VIOLATION)});
    // a.mpo is not split at all: its left image gets no name either.
    EXPECT_EQ(result.totalImages, 2);
    EXPECT_EQ(readBytes(dir / "a-R.jpg"), Bytes(10, 7));
    EXPECT_EQ(dir.names(), (Names{"a-R.jpg", "a.mpo", "b-L.jpg", "b-R.jpg", "b.mpo"}));
}

TEST(WindowsAttributes, ReadOnlyFolderTakesOutputsAndReadOnlyOutputIsKept) {
    TempDir dir;
    const auto folder = dir / "read-only";
    std::filesystem::create_directory(folder);
    const Bytes pair = mpoWithImagesAt(20'000, {0, 10'000});
    writeBytes(folder / "a.mpo", pair);
    writeBytes(folder / "b.mpo", pair);
    writeBytes(folder / "b-L.jpg", Bytes(10, 7));
    ASSERT_TRUE(::SetFileAttributesW((folder / "b-L.jpg").c_str(), FILE_ATTRIBUTE_READONLY));
    // On Windows the attribute on a folder asks nothing of the files in it.
    ASSERT_TRUE(::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_READONLY));
    RecordingReporter reporter;
    const BatchResult result = runBatch(
        allSelected({"a.mpo", "b.mpo"}), folder, [] { return false; }, reporter);
    ::SetFileAttributesW(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::SetFileAttributesW((folder / "b-L.jpg").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(result.totalImages, 2);
    EXPECT_EQ(readBytes(folder / "a-R.jpg"), slice(pair, 10'000, 19'999));
    // A file the user made read-only is not replaced behind their back.
    EXPECT_EQ(reporter.messages, Names{"Cannot write b-L.jpg: " + reasonText(ERROR_ACCESS_DENIED)});
    EXPECT_EQ(readBytes(folder / "b-L.jpg"), Bytes(10, 7));
    EXPECT_EQ(::GetFileAttributesW((folder / "a-L.jpg").c_str()) &
                  (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              0u);
}

TEST(WindowsTemporaries, ProcessKilledWhileWritingLeavesNothing) {
    TempDir dir;
    const CliRun run = runProgram(TWINFRAME_KILLED_WRITER, dir, "a.jpg");
    EXPECT_EQ(run.exitCode, 9);
    EXPECT_EQ(run.out.substr(0, 7), "writing"); // it got as far as writing
    EXPECT_TRUE(dir.names().empty());
}

// The build's tests of names outside ASCII run again under other ANSI code pages (Wine takes the
// code page from the locale it starts in); this one makes sure each run got the one it asked for.
TEST(NonAsciiNames, RunUnderTheCodePageAsked) {
    const char* asked = std::getenv("TWINFRAME_CODE_PAGE");
    if (asked == nullptr)
        GTEST_SKIP() << "no code page asked for (TWINFRAME_CODE_PAGE)";
    EXPECT_EQ(std::to_string(::GetACP()), asked);
}
