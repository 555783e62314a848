#include "MpoBuilder.h"
#include "format/scanSignature.h"
#include "split/saveChunkCode.h"

#include <gtest/gtest.h>

using namespace twinframe;
using namespace twinframe::test;

namespace {

std::int64_t search(const Bytes& bytes, std::int64_t from) {
    return findImageStart(std::span<const std::uint8_t>(bytes), from);
}

} // namespace

TEST(FindImageStart, SignatureOnlyAtOffsetZeroIsNotFound) {
    const Bytes bytes = jpegLike(10'000);
    EXPECT_EQ(search(bytes, 1), 0);
}

TEST(FindImageStart, FindsSignatureInTheLastFourBytes) {
    Bytes bytes = jpegLike(10'000);
    placeSignature(bytes, bytes.size() - 4, 0xE1);
    EXPECT_EQ(search(bytes, 1), 10'000 - 4);
}

TEST(FindImageStart, FindsEachSignatureInTurn) {
    Bytes bytes = jpegLike(12'000);
    placeSignature(bytes, 5000, 0xE0);
    placeSignature(bytes, 9000, 0xE1);
    EXPECT_EQ(search(bytes, 1), 5000);
    EXPECT_EQ(search(bytes, 5000), 5000);
    EXPECT_EQ(search(bytes, 5001), 9000);
    EXPECT_EQ(search(bytes, 9001), 0);
}

TEST(FindImageStart, StartTooCloseToTheEndFindsNothing) {
    Bytes bytes = jpegLike(1000);
    placeSignature(bytes, 996, 0xE1);
    EXPECT_EQ(search(bytes, 997), 0);  // fileLength - 3
    EXPECT_EQ(search(bytes, 5000), 0); // past the end
    EXPECT_EQ(search(Bytes{0xFF, 0xD8, 0xFF}, 0), 0);
    EXPECT_EQ(search(Bytes{}, 1), 0);
}

TEST(FindImageStart, OnlyJfifAndExifMarkersStartAnImage) {
    for (const std::uint8_t marker : Bytes{0xE2, 0xDB, 0xC0, 0xE3, 0x00, 0xFF}) {
        Bytes bytes = jpegLike(2000);
        placeSignature(bytes, 700, marker);
        EXPECT_EQ(search(bytes, 1), 0) << "marker " << int(marker);
    }
    for (const std::uint8_t marker : Bytes{0xE0, 0xE1}) {
        Bytes bytes = jpegLike(2000);
        placeSignature(bytes, 700, marker);
        EXPECT_EQ(search(bytes, 1), 700) << "marker " << int(marker);
    }
}

TEST(FindImageStart, SignatureRightAfterAnotherFfIsFound) {
    // Fill bytes and near misses just before a real signature must not make the scan step over it.
    Bytes bytes = jpegLike(2000);
    const Bytes run = {0xFF, 0xFF, 0xD8, 0xFF, 0xD8, 0xFF, 0xFF, 0xD8, 0xFF, 0xE0};
    std::copy(run.begin(), run.end(), bytes.begin() + 100);
    EXPECT_EQ(search(bytes, 1), 106);
}

TEST(FindImageStart, FileFormSearchesOnlyTheGivenLength) {
    TempDir dir;
    Bytes bytes = jpegLike(3000);
    placeSignature(bytes, 2500, 0xE1);
    writeBytes(dir / "a.mpo", bytes);
    ASSERT_FALSE(fileBuffer.fill(dir / "a.mpo"));
    EXPECT_EQ(findImageStart(1, 3000), 2500);
    EXPECT_EQ(findImageStart(1, 2503), 0);         // the signature would run past the given length
    EXPECT_EQ(findImageStart(1, 1'000'000), 2500); // never past the file's own end
}

// Every scanner this processor runs must give the plain byte-by-byte answer, whatever the
// alignment, the length and the near misses around the signature.
TEST(FindImageStart, EveryScannerAgreesWithAByteByByteSearch) {
    const auto reference = [](const Bytes& b) {
        for (std::size_t i = 0; i + 4 <= b.size(); ++i)
            if (b[i] == 0xFF && b[i + 1] == 0xD8 && b[i + 2] == 0xFF &&
                (b[i + 3] == 0xE0 || b[i + 3] == 0xE1))
                return i;
        return b.size();
    };
    std::uint32_t state = 99;
    const auto next = [&state] { return state = state * 1664525u + 1013904223u; };
    for (int round = 0; round < 3000; ++round) {
        Bytes bytes(next() % 300);
        for (auto& byte : bytes) { // mostly the bytes that make up signatures
            const std::uint32_t r = next() >> 24;
            byte = r < 100   ? 0xFF
                   : r < 160 ? 0xD8
                   : r < 200 ? std::uint8_t(0xE0 + (r & 1))
                             : std::uint8_t(r);
        }
        for (const auto& scanner : availableSignatureScanners())
            ASSERT_EQ(scanner.scan(bytes.data(), bytes.size()), reference(bytes))
                << scanner.name << ", round " << round;
    }
}
