#pragma once

#include "BatchReporter.h"
#include "runBatch.h"
#include "fileSystem.h"

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

namespace twinframe::test {

using Bytes = std::vector<std::uint8_t>;

// Bytes that look like one JPEG to the scan: FF D8 FF marker, entropy-coded filler in which every
// FF is followed by 00 as in real JPEG streams, and FF D9 at the end. Deterministic per seed.
Bytes jpegLike(std::size_t size, std::uint8_t marker = 0xE1, std::uint32_t seed = 1);

// An MPO file of totalLength bytes with images starting at each offset (the first must be 0);
// the first image is Exif (E1), the others alternate JFIF (E0) and Exif.
Bytes mpoWithImagesAt(std::size_t totalLength, std::initializer_list<std::size_t> starts);

// Where the parts of an MP index lie in a file made by mpoWithIndex, as offsets into the file,
// so that tests can break it one field at a time.
struct MpIndexLayout {
    std::size_t app2 = 0;    // the APP2 segment's FF
    std::size_t base = 0;    // the byte order mark; offsets in the index count from here
    std::size_t ifd = 0;     // the MP Index IFD's entry count
    std::size_t entries = 0; // the first 16-byte MPEntry
};

struct IndexedMpo {
    Bytes bytes;
    MpIndexLayout layout;
};

// Like mpoWithImagesAt, but the first image is a walkable JPEG header (SOI, an Exif APP1, an APP2
// "MPF" segment, then SOS) whose MP index gives every image's start and size (each image runs
// to the next start). A thumbnail signature (FF D8 FF E0) sits inside the APP1 when asked for.
IndexedMpo mpoWithIndex(std::size_t totalLength, std::initializer_list<std::size_t> starts,
                        bool littleEndian = true, bool thumbnail = false);

// Gives a file made of images at starts that header and index, in place, after an Exif APP1
// of exifLength bytes (at most 65533). Where file holds only the file's first bytes, fileLength
// gives its whole length (0: file's own size).
MpIndexLayout writeMpIndex(Bytes& file, const std::vector<std::size_t>& starts,
                           bool littleEndian = true, bool thumbnail = false,
                           std::size_t exifLength = 200, std::size_t fileLength = 0);

// Writes value as size bytes (2 or 4) at offset, in the given byte order.
void putNumber(Bytes& bytes, std::size_t offset, std::uint32_t value, int size, bool littleEndian);

// Overwrites four bytes at offset with FF D8 FF marker.
void placeSignature(Bytes& bytes, std::size_t offset, std::uint8_t marker = 0xE1);

Bytes slice(const Bytes& bytes, std::size_t first, std::size_t last); // inclusive
Bytes readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const Bytes& bytes);

// A fresh folder of its own for one test, removed with everything in it afterwards.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const {
        return path_ / pathFromUtf8(name);
    }
    // Names of everything in the folder, sorted.
    std::vector<std::string> names() const;

  private:
    std::filesystem::path path_;
};

// A file list with every name selected, in the order given, as a batch takes it.
std::vector<FileEntry> allSelected(const std::vector<std::string>& names);

class RecordingReporter : public BatchReporter {
  public:
    void setStatus(const std::string& text) override { statuses.push_back(text); }
    void showMessage(const std::string& text) override { messages.push_back(text); }

    std::vector<std::string> statuses;
    std::vector<std::string> messages;
};

} // namespace twinframe::test
