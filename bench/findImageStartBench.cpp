// How fast the image-start scan runs over 4 MB of JPEG-like data, against memchr looking for a
// byte that never occurs in the same buffer: the speed of a plain pass over memory.
#include "MpoBuilder.h"
#include "split/saveChunkCode.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>

using namespace twinframe::test;

namespace {

constexpr std::size_t kSize = 4 * 1024 * 1024;
constexpr std::uint8_t kAbsent = 0x5A;

// One image: the scan from offset 1 finds nothing and reads every byte.
const Bytes& buffer() {
    static const Bytes bytes = [] {
        Bytes b = jpegLike(kSize, 0xE1, 7);
        std::replace(b.begin(), b.end(), kAbsent, std::uint8_t{0x5B});
        return b;
    }();
    return bytes;
}

void findImageStartScan(benchmark::State& state) {
    const auto& bytes = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            twinframe::findImageStart(std::span<const std::uint8_t>(bytes), 1));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void memchrAbsentByte(benchmark::State& state) {
    const auto& bytes = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(std::memchr(bytes.data(), kAbsent, bytes.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

} // namespace

BENCHMARK(findImageStartScan);
BENCHMARK(memchrAbsentByte);
BENCHMARK_MAIN();
