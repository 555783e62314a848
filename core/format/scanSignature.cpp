#include "format/scanSignature.h"

#include <cstring>
#include <vector>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TWINFRAME_X86_SIMD 1
#include <immintrin.h>
#endif

namespace twinframe {

namespace {

bool signatureTailAt(const std::uint8_t* p) {
    return p[2] == 0xFF && (p[3] == 0xE0 || p[3] == 0xE1);
}

// Most bytes are not FF, so memchr skips to each candidate and the rest is tested there.
std::size_t scanPortable(const std::uint8_t* data, std::size_t size) {
    if (size < 4)
        return size;
    const std::uint8_t* p = data;
    const std::uint8_t* const last = data + size - 4;
    while (p <= last) {
        p = static_cast<const std::uint8_t*>(
            std::memchr(p, 0xFF, static_cast<std::size_t>(last - p) + 1));
        if (p == nullptr)
            return size;
        if (p[1] == 0xD8 && signatureTailAt(p))
            return static_cast<std::size_t>(p - data);
        ++p;
    }
    return size;
}

#ifdef TWINFRAME_X86_SIMD

// Finishes a vector pass: the bytes from i on, too few for another round, byte by byte.
std::size_t scanTail(const std::uint8_t* data, std::size_t size, std::size_t i) {
    const std::size_t rest = scanPortable(data + i, size - i);
    return rest == size - i ? size : i + rest;
}

// Checks, in order, the candidates a vector pass flagged (bit j: FF D8 starts at base + j).
bool firstFullSignature(const std::uint8_t* data, std::size_t size, std::size_t base,
                        std::uint64_t candidates, std::size_t& found) {
    while (candidates != 0) {
        const auto j = static_cast<std::size_t>(__builtin_ctzll(candidates));
        if (base + j + 4 <= size && signatureTailAt(data + base + j)) {
            found = base + j;
            return true;
        }
        candidates &= candidates - 1;
    }
    return false;
}

// JPEG streams never hold FF D8 except at a start of image (an FF in entropy-coded data is
// followed by 00 or a marker, and D8 is the start-of-image marker), so testing the byte pair in
// wide vectors finds almost nothing but real candidates and runs at the speed of memory.
// Marks where FF D8 starts in the 32 bytes at p (bit j: at p + j).
__attribute__((target("avx2"))) inline __m256i pairsAt(const std::uint8_t* p) {
    const __m256i ff = _mm256_set1_epi8(static_cast<char>(0xFF));
    const __m256i d8 = _mm256_set1_epi8(static_cast<char>(0xD8));
    return _mm256_and_si256(
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), ff),
        _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1)), d8));
}

__attribute__((target("avx2"))) std::uint64_t pairBits(__m256i low, __m256i high) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
           (static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(high)))
            << 32);
}

__attribute__((target("avx2"))) std::size_t scanAvx2(const std::uint8_t* data, std::size_t size) {
    std::size_t i = 0;
    std::size_t found = 0;
    // 128 bytes a round; the second load of each pair reads one byte further.
    for (; i + 129 <= size; i += 128) {
        const __m256i a = pairsAt(data + i);
        const __m256i b = pairsAt(data + i + 32);
        const __m256i c = pairsAt(data + i + 64);
        const __m256i d = pairsAt(data + i + 96);
        const __m256i any = _mm256_or_si256(_mm256_or_si256(a, b), _mm256_or_si256(c, d));
        if (_mm256_testz_si256(any, any))
            continue;
        if (firstFullSignature(data, size, i, pairBits(a, b), found) ||
            firstFullSignature(data, size, i + 64, pairBits(c, d), found))
            return found;
    }
    return scanTail(data, size, i);
}

// Where the processor has them, 64-byte compares into mask registers do the same work in half
// the instructions.
__attribute__((target("avx512f,avx512bw"))) inline std::uint64_t pairs64(const std::uint8_t* p) {
    return _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p),
                                  _mm512_set1_epi8(static_cast<char>(0xFF))) &
           _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(p + 1),
                                  _mm512_set1_epi8(static_cast<char>(0xD8)));
}

__attribute__((target("avx512f,avx512bw"))) std::size_t scanAvx512(const std::uint8_t* data,
                                                                   std::size_t size) {
    std::size_t i = 0;
    std::size_t found = 0;
    for (; i + 129 <= size; i += 128) {
        const std::uint64_t low = pairs64(data + i);
        const std::uint64_t high = pairs64(data + i + 64);
        if ((low | high) == 0)
            continue;
        if (firstFullSignature(data, size, i, low, found) ||
            firstFullSignature(data, size, i + 64, high, found))
            return found;
    }
    return scanTail(data, size, i);
}

std::size_t scanSse2(const std::uint8_t* data, std::size_t size) {
    const __m128i ff = _mm_set1_epi8(static_cast<char>(0xFF));
    const __m128i d8 = _mm_set1_epi8(static_cast<char>(0xD8));
    std::size_t i = 0;
    std::size_t found = 0;
    for (; i + 33 <= size; i += 32) {
        const auto* p = reinterpret_cast<const __m128i*>(data + i);
        const auto* q = reinterpret_cast<const __m128i*>(data + i + 1);
        const __m128i low = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(p), ff),
                                          _mm_cmpeq_epi8(_mm_loadu_si128(q), d8));
        const __m128i high = _mm_and_si128(_mm_cmpeq_epi8(_mm_loadu_si128(p + 1), ff),
                                           _mm_cmpeq_epi8(_mm_loadu_si128(q + 1), d8));
        const int lowBits = _mm_movemask_epi8(low);
        const int highBits = _mm_movemask_epi8(high);
        if ((lowBits | highBits) == 0)
            continue;
        const std::uint64_t candidates =
            static_cast<std::uint32_t>(lowBits) | (static_cast<std::uint64_t>(highBits) << 16);
        if (firstFullSignature(data, size, i, candidates, found))
            return found;
    }
    return scanTail(data, size, i);
}

using Scanner = std::size_t (*)(const std::uint8_t*, std::size_t);

Scanner bestScanner() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512bw"))
        return scanAvx512;
    return __builtin_cpu_supports("avx2") ? scanAvx2 : scanSse2;
}

#endif

} // namespace

std::span<const SignatureScanner> availableSignatureScanners() {
    static const std::vector<SignatureScanner> scanners = [] {
        std::vector<SignatureScanner> all{{"portable", scanPortable}};
#ifdef TWINFRAME_X86_SIMD
        all.push_back({"sse2", scanSse2});
        if (__builtin_cpu_supports("avx2"))
            all.push_back({"avx2", scanAvx2});
        if (__builtin_cpu_supports("avx512bw"))
            all.push_back({"avx512bw", scanAvx512});
#endif
        return all;
    }();
    return scanners;
}

std::size_t scanSignature(const std::uint8_t* data, std::size_t size) {
#ifdef TWINFRAME_X86_SIMD
    static const Scanner scanner = bestScanner();
    return scanner(data, size);
#else
    return scanPortable(data, size);
#endif
}

} // namespace twinframe
