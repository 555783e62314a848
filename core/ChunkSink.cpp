#include "ChunkSink.h"

#include "saveChunkCode.h"

#include <algorithm>

namespace twinframe {

namespace {

namespace fs = std::filesystem;

// ASCII letters only: what FAT and exFAT fold for the names cameras give their pictures.
bool sameIgnoringCase(const std::string& a, const std::string& b) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return fold(x) == fold(y); });
}

// The folder's own spelling of the file that target reaches: the entry of target's name in
// any letter case that is that very file, a plain file before a link to it, the exact spelling
// first.
fs::path spellingInFolder(const fs::path& target, const FileIdentity& identity) {
    const std::string leaf = utf8Text(target.filename());
    const fs::path folder = target.has_parent_path() ? target.parent_path() : pathFromUtf8(".");
    std::optional<fs::path> plain;
    std::optional<fs::path> link;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = utf8Text(it->path().filename());
        if (!sameIgnoringCase(name, leaf) || twinframe::identityOf(it->path()) != identity)
            continue;
        std::error_code ignored;
        std::optional<fs::path>& kind = it->is_symlink(ignored) ? link : plain;
        if (!kind || name == leaf)
            kind = it->path().filename();
    }
    return plain.value_or(link.value_or(target.filename()));
}

class FileChunkSink : public ChunkSink {
  public:
    std::optional<FileIdentity> identityOf(const std::filesystem::path& target) override {
        return twinframe::identityOf(target);
    }
    std::error_code save(const std::string& /*input*/, std::int64_t first, std::int64_t last,
                         const std::filesystem::path& target, FileIdentity& written) override {
        return saveChunk(first, last, target, &written);
    }
    std::optional<fs::path> existingName(const fs::path& target) override {
        // Only a file can be one the camera wrote; a folder in the way makes the write fail
        // and be told as such.
        std::error_code error;
        const auto identity = twinframe::identityOf(target);
        if (!identity || !fs::is_regular_file(target, error))
            return std::nullopt;
        return spellingInFolder(target, *identity);
    }
};

} // namespace

std::optional<std::filesystem::path>
ChunkSink::existingName(const std::filesystem::path& /*target*/) {
    return std::nullopt;
}

ChunkSink& fileChunkSink() {
    static FileChunkSink sink;
    return sink;
}

} // namespace twinframe
