#include "ChunkSink.h"

#include "saveChunkCode.h"

namespace twinframe {

namespace {

class FileChunkSink : public ChunkSink {
  public:
    std::optional<FileIdentity> identityOf(const std::filesystem::path& target) override {
        return twinframe::identityOf(target);
    }
    std::error_code save(const std::string& /*input*/, std::int64_t first, std::int64_t last,
                         const std::filesystem::path& target, FileIdentity& written) override {
        return saveChunk(first, last, target, &written);
    }
};

} // namespace

ChunkSink& fileChunkSink() {
    static FileChunkSink sink;
    return sink;
}

} // namespace twinframe
