#pragma once

#include "mpoFiles.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace twinframe {

// Files given to the window (on its command line, or dropped on it): the window opens the folder
// of the first and selects those of them that its file list shows there; the others are named in
// one message, each under the reason it was left out.
struct FileArguments {
    std::filesystem::path folder;       // the folder of the first file, made absolute
    std::vector<std::string> selected;  // names as the file list shows them, in the order given
    std::vector<std::string> notMpo;    // there, but not a visible plain ".mpo" file
    std::vector<std::string> elsewhere; // ".mpo" files of another folder
    std::vector<std::string> notFound;  // nothing of that name
    bool allSelected() const { return notMpo.empty() && elsewhere.empty() && notFound.empty(); }
};

// Sorts paths as above. A file list shows the visible plain files (or links to them) whose names
// end in ".mpo" in any letter case.
FileArguments sortFileArguments(std::span<const std::filesystem::path> paths);

// The message naming the files that were not selected, lines separated by carriage returns as in
// every message of the program; empty when every file was selected.
std::string fileArgumentsMessage(const FileArguments& arguments);

// What a window does with files given to it (on its command line, or dropped on it): opens
// folder, selects the names there, then shows message unless it is empty. When the folder of the
// first file cannot be opened, there is no folder, and the message says why.
struct FilesToOpen {
    std::optional<std::filesystem::path> folder;
    std::vector<std::string> selected;
    std::string message;
};

FilesToOpen filesToOpen(std::span<const std::filesystem::path> paths);

} // namespace twinframe
