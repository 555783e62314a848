#include "mpoFiles.h"

#include "asciiCase.h"
#include "platform/fileSystem.h"

#include <algorithm>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

bool hasMpoExtension(const fs::path& path) {
    return asciiLowered(utf8Text(path.extension())) == ".mpo";
}

} // namespace

bool isListableMpo(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && !isHidden(path) && hasMpoExtension(path);
}

std::vector<fs::path> listMpoFiles(const fs::path& folder) {
    std::vector<fs::path> names;
    if (folder.empty())
        return names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        // The name first: it costs no look-up, and most files of a camera's folder are not MPO.
        const fs::path& path = it->path();
        std::error_code typeError;
        if (hasMpoExtension(path) && it->is_regular_file(typeError) && !isHidden(path))
            names.push_back(path.filename());
    }
    std::sort(names.begin(), names.end(), comesFirstInFileList);
    return names;
}

bool comesFirstInFileList(const fs::path& a, const fs::path& b) {
    const fs::path::string_type& first = a.native();
    const fs::path::string_type& second = b.native();
    using Unit = std::make_unsigned_t<fs::path::value_type>; // UTF-8 bytes sort after ASCII
    const auto folded = [](fs::path::value_type c) { return static_cast<Unit>(asciiLower(c)); };
    const bool before =
        std::lexicographical_compare(first.begin(), first.end(), second.begin(), second.end(),
                                     [&](auto x, auto y) { return folded(x) < folded(y); });
    const bool after =
        std::lexicographical_compare(second.begin(), second.end(), first.begin(), first.end(),
                                     [&](auto x, auto y) { return folded(x) < folded(y); });
    if (before != after)
        return before;
    return std::lexicographical_compare(
        first.begin(), first.end(), second.begin(), second.end(),
        [](auto x, auto y) { return static_cast<Unit>(x) < static_cast<Unit>(y); });
}

std::error_code folderProblem(const fs::path& folder) {
    std::error_code error;
    fs::directory_iterator probe(folder, error);
    return error;
}

fs::path nearestReadableFolder(fs::path folder) {
    while (folderProblem(folder) && folder.parent_path() != folder)
        folder = folder.parent_path();
    return folder;
}

} // namespace twinframe
