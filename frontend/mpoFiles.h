#pragma once

#include <filesystem>
#include <system_error>
#include <vector>

// What both windows' lists show of a folder, and where they go when a folder cannot be read.

namespace twinframe {

// Whether a file list shows the file at path: a visible plain file (or a link to one) named
// "*.mpo" in any letter case.
bool isListableMpo(const std::filesystem::path& path);

// The names (file names only) of the folder's listable ".mpo" files, in the file list's order;
// none when it cannot be read.
std::vector<std::filesystem::path> listMpoFiles(const std::filesystem::path& folder);

// The file list's order: ASCII letter case ignored, then exactly, so that "a" and "A" are always
// in the same order.
bool comesFirstInFileList(const std::filesystem::path& a, const std::filesystem::path& b);

// Why a folder cannot be listed, or no error when it can.
std::error_code folderProblem(const std::filesystem::path& folder);

// Where the lists go when folder cannot be read (a card taken out, a folder deleted meanwhile):
// the nearest folder above it that can, or folder itself should it be readable; its root when
// none is, which the window then deals with as it does a drive that is gone.
std::filesystem::path nearestReadableFolder(std::filesystem::path folder);

} // namespace twinframe
