#include "fileArguments.h"

#include "platform/fileSystem.h"

#include <algorithm>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

bool hasMpoExtension(const fs::path& path) {
    std::string extension = utf8Text(path.extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return extension == ".mpo";
}

fs::path absoluteOf(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return (error ? path : absolute).lexically_normal();
}

void appendSection(std::string& text, const std::string& heading,
                   const std::vector<std::string>& names) {
    if (names.empty())
        return;
    if (!text.empty())
        text += '\r';
    text += heading;
    for (const std::string& name : names)
        text += '\r' + name;
}

} // namespace

bool isListableMpo(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error) && !isHidden(path) && hasMpoExtension(path);
}

FileArguments sortFileArguments(std::span<const fs::path> paths) {
    FileArguments arguments;
    if (paths.empty())
        return arguments;
    arguments.folder = absoluteOf(paths.front()).parent_path();
    for (const fs::path& path : paths) {
        const fs::path absolute = absoluteOf(path);
        const std::string shown = utf8Text(fs::path(path).make_preferred());
        std::error_code error;
        if (!fs::exists(fs::symlink_status(path, error)) || !fs::exists(path, error))
            arguments.notFound.push_back(shown);
        else if (!isListableMpo(path))
            arguments.notMpo.push_back(shown);
        else if (absolute.parent_path() != arguments.folder)
            arguments.elsewhere.push_back(shown);
        else
            arguments.selected.push_back(utf8Text(absolute.filename()));
    }
    return arguments;
}

std::string fileArgumentsMessage(const FileArguments& arguments) {
    std::string text;
    appendSection(text, "Not selected, not an .mpo file:", arguments.notMpo);
    appendSection(text, "Not selected, not in " + utf8Text(arguments.folder) + ":",
                  arguments.elsewhere);
    appendSection(text, "Not selected, not found:", arguments.notFound);
    return text;
}

} // namespace twinframe
