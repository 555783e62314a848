#include "mpoFiles.h"
#include "MpoBuilder.h"
#include "fileArguments.h"
#include "platform/fileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace twinframe;
using namespace twinframe::test;

namespace fs = std::filesystem;

TEST(ListMpoFiles, ListsTheFolderOwnMpoFilesInAnyCaseInTheFileListsOrder) {
    TempDir dir;
    for (const char* name : {"c.Mpo", "_x.mpo", "B.MPO", "a.mpo", "a.mpox", "a.jpg", "mpo"})
        writeBytes(dir / name, jpegLike(200));
    fs::create_directory(dir / "folder.mpo");
    std::vector<fs::path> expected = {"_x.mpo", "a.mpo", "B.MPO", "c.Mpo"};
#ifndef _WIN32
    // Dot files are hidden, and a link counts as what it reaches.
    writeBytes(dir / ".hidden.mpo", jpegLike(200));
    fs::create_symlink(dir / "a.mpo", dir / "link.mpo");
    fs::create_symlink(dir / "gone", dir / "dangling.mpo");
    expected.push_back("link.mpo");
#endif
    EXPECT_EQ(listMpoFiles(dir.path()), expected);
    EXPECT_TRUE(listMpoFiles(dir / "missing").empty());
}

TEST(ListMpoFiles, OrderFoldsAsciiLettersToLowerCaseThenTellsNamesApartExactly) {
    const fs::path accented = pathFromUtf8("\xC3\x89t\xC3\xA9.mpo");
    std::vector<fs::path> names = {"b.mpo",   "a.mpo", "A.MPO", accented,
                                   "[1].mpo", "B.MPO", "a1.mpo"};
    std::sort(names.begin(), names.end(), comesFirstInFileList);
    // "[" lies between "Z" and "a": before every letter once they are folded to lower case.
    EXPECT_EQ(names, (std::vector<fs::path>{"[1].mpo", "A.MPO", "a.mpo", "a1.mpo", "B.MPO", "b.mpo",
                                            accented}));
}

TEST(NearestReadableFolder, ClimbsFromAGoneFolderToTheNearestOneThere) {
    TempDir dir;
    fs::create_directories(dir / "card" / "DCIM" / "100_FUJI");
    EXPECT_EQ(nearestReadableFolder(dir / "card" / "DCIM" / "100_FUJI"),
              dir / "card" / "DCIM" / "100_FUJI");
    fs::remove_all(dir / "card" / "DCIM");
    EXPECT_EQ(nearestReadableFolder(dir / "card" / "DCIM" / "100_FUJI"), dir / "card");
    EXPECT_EQ(folderProblem(dir / "card" / "DCIM"), std::errc::no_such_file_or_directory);
    EXPECT_FALSE(folderProblem(dir / "card"));
}

TEST(FilesToOpen, OpensTheFirstFilesFolderOrSaysWhyItCannot) {
    TempDir dir;
    for (const char* name : {"a.mpo", "b.MPO", "note.txt"})
        writeBytes(dir / name, jpegLike(200));
    const std::vector<fs::path> given = {dir / "b.MPO", dir / "note.txt", dir / "a.mpo"};
    const FilesToOpen files = filesToOpen(given);
    ASSERT_TRUE(files.folder.has_value());
    EXPECT_EQ(*files.folder, dir.path());
    EXPECT_EQ(files.selected, (std::vector<std::string>{"b.MPO", "a.mpo"}));
    EXPECT_EQ(files.message, "Not selected, not an .mpo file:\r" + utf8Text(dir / "note.txt"));
    EXPECT_TRUE(filesToOpen(std::vector<fs::path>{dir / "a.mpo"}).message.empty());

    const FilesToOpen gone = filesToOpen(std::vector<fs::path>{dir / "gone" / "a.mpo"});
    EXPECT_FALSE(gone.folder.has_value());
    EXPECT_TRUE(gone.selected.empty());
    EXPECT_EQ(gone.message.rfind("Cannot open folder " + utf8Text(dir / "gone") + ": ", 0), 0u)
        << gone.message;
}
