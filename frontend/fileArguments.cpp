#include "fileArguments.h"

#include "mpoFiles.h"
#include "platform/failure.h"
#include "platform/fileSystem.h"

namespace twinframe {

namespace {

namespace fs = std::filesystem;

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

FilesToOpen filesToOpen(std::span<const fs::path> paths) {
    FilesToOpen files;
    if (paths.empty())
        return files;
    FileArguments arguments = sortFileArguments(paths);
    if (const std::error_code error = folderProblem(arguments.folder)) {
        files.message = describeFailure("Cannot open folder", utf8Text(arguments.folder), error);
        return files;
    }
    files.folder = arguments.folder;
    files.message = fileArgumentsMessage(arguments);
    files.selected = std::move(arguments.selected);
    return files;
}

} // namespace twinframe
