// UTF-8 row writers for x86-64. The AVX-512 one (VBMI2: byte compress) is compiled for
// its instruction set alone and offered only when the processor reports it, so the
// program runs on any x86-64.
#include <immintrin.h>

#include "console/display_char.h"
#include "dump/utf8_row.h"

#define TOVIX_TARGET_VBMI2 \
  __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi,avx512vbmi2,popcnt")))

namespace dump {
namespace {

// Lane j of a row's window: bytes j to j + 3 of the row and its look-ahead, byte j lowest.
struct Window {
  alignas(64) int8_t index[64];
};
constexpr Window kWindow = [] {
  Window w{};
  for (int j = 0; j < 16; ++j) {
    for (int i = 0; i < 4; ++i) w.index[4 * j + i] = static_cast<int8_t>(j + i);
  }
  return w;
}();

// Per lane j: four times the positions left on the line from j (16 - j).
struct RoomLeft {
  alignas(64) int32_t left[16];
};
constexpr RoomLeft kRoomLeft = [] {
  RoomLeft r{};
  for (int j = 0; j < 16; ++j) r.left[j] = 4 * (16 - j);
  return r;
}();

// The blanks after a character, by 4 * (its positions on the line) + its cells: as
// many as it has positions beyond its cells.
struct BlankWords {
  alignas(64) uint32_t words[16];
};
constexpr BlankWords kBlankWords = [] {
  BlankWords b{};
  for (int in_line = 0; in_line < 4; ++in_line) {
    for (int cells = 0; cells < 4; ++cells) {
      const int n = in_line - cells;
      b.words[4 * in_line + cells] = n <= 0 ? 0 : n == 1 ? 0x20 : 0x2020;
    }
  }
  return b;
}();

// Every lane: the masked forms of the intrinsics, as GCC 12 flags the undefined vectors
// inside the plain ones as uninitialised.
constexpr __mmask16 kAll = 0xFFFF;

// A constant in every 32-bit lane, broadcast from memory, which costs a load: built from
// an immediate instead, as the compiler does with a value it knows, each takes a vector
// port that the row's work is short of (the empty asm hides the value from it).
template <uint32_t V>
struct Splat {
  static constexpr uint32_t value = V;
};

template <uint32_t V>
TOVIX_TARGET_VBMI2 inline const uint32_t* hidden() {
  const uint32_t* value = &Splat<V>::value;
  __asm__("" : "+r"(value));
  return value;
}

template <uint32_t V>
TOVIX_TARGET_VBMI2 inline __m512i set1() {
  return _mm512_set1_epi32(static_cast<int>(*hidden<V>()));
}

// Byte B in every byte of a 256-bit vector.
template <uint8_t B>
TOVIX_TARGET_VBMI2 inline __m256i bytes_of() {
  return _mm256_set1_epi32(static_cast<int>(*hidden<B * 0x01010101u>()));
}

// The bytes of v from first to last, as a bit mask.
template <uint8_t First, uint8_t Last>
TOVIX_TARGET_VBMI2 inline uint32_t in_range(__m256i v) {
  return _mm256_cmple_epu8_mask(_mm256_sub_epi8(v, bytes_of<First>()), bytes_of<Last - First>());
}

// Each position's output in a lane of its own: a byte shown alone as itself or a dot, a
// character's spelling in its first byte's lane and the blanks after it in its second
// byte's lane, nothing in the lanes of its other bytes; then the empty bytes squeezed
// out. A character's bytes after its first are continuation bytes, which begin none, so
// every position that begins a character begins one in the sequential reading too.
TOVIX_TARGET_VBMI2 char* put_utf8_row_avx512vbmi2(char* p, const uint8_t* row, size_t ahead,
                                                  int32_t* carried) {
  const uint32_t present = (1u << (16 + ahead)) - 1;
  const __m512i bytes = _mm512_maskz_loadu_epi8(present, row);
  const __m256i b = _mm256_maskz_loadu_epi8(present, row);
  // The byte classes as bit masks, bit i for byte i (the look-ahead's from bit 16 on).
  // As signed bytes, 80-BF are those below C0, and 80-9F those below A0.
  const uint32_t tail = _mm256_cmplt_epi8_mask(b, bytes_of<0xC0>());
  const uint32_t low_tail = _mm256_cmplt_epi8_mask(b, bytes_of<0xA0>());
  const uint32_t lead2 = in_range<0xC2, 0xDF>(b);
  const uint32_t lead3 = in_range<0xE0, 0xEF>(b);
  const uint32_t lead4 = in_range<0xF0, 0xF4>(b);
  const uint32_t e0 = _mm256_cmpeq_epi8_mask(b, bytes_of<0xE0>());
  const uint32_t ed = _mm256_cmpeq_epi8_mask(b, bytes_of<0xED>());
  const uint32_t printable = in_range<0x20, 0x7E>(b);
  // Three bytes: after E0 no 80-9F (an overlong form), after ED nothing else (a surrogate).
  const uint32_t tails2 = tail >> 1, tails3 = tails2 & (tail >> 2);
  const uint32_t valid2 = lead2 & tails2 & 0xFFFF;
  const uint32_t valid3 =
      lead3 & tails3 & ~(e0 & (low_tail >> 1)) & ~(ed & ~(low_tail >> 1)) & 0xFFFF;
  const uint32_t valid = valid2 | valid3;
  // (The positions shown blank for a character of the last line are left out only at
  // the end: the characters found at this line's end do not wait for the last line's.)
  const uint32_t free = ~((1u << *carried) - 1);
  // Four bytes: perhaps a character beyond the BMP, whose word is not kept; the general
  // column takes the row.
  if ((lead4 & tails3 & (tail >> 3) & free & 0xFFFF) != 0) return nullptr;

  // Code points: a two-byte character moved up a byte, so that both are b0 b1 b2 with
  // b0 & 0x0F, b1 & 0x3F, b2 & 0x3F (a two-byte lead has bit 5 clear) and the code
  // point (b0 * 64 + b1) * 64 + b2, summed by two multiply-adds.
  const __m512i x =
      _mm512_maskz_permutexvar_epi8(~uint64_t{0}, _mm512_load_si512(kWindow.index), bytes);
  const __m512i z = _mm512_mask_slli_epi32(x, static_cast<__mmask16>(~valid3), x, 8);
  const __m512i cp = _mm512_madd_epi16(
      _mm512_maddubs_epi16(_mm512_and_si512(z, set1<0x003F3F0F>()), set1<0x00010140>()),
      set1<0x00010040>());
  const __m512i words = _mm512_mask_i32gather_epi32(
      _mm512_setzero_si512(), static_cast<__mmask16>(valid), cp, console::g_char_words, 4);
  // A word not built yet has its top bit clear (on a UTF-8 display no word of the BMP is
  // too long to hold its spelling).
  if (_mm512_mask_cmpge_epi32_mask(static_cast<__mmask16>(valid & free), words,
                                   _mm512_setzero_si512()) != 0) {
    return nullptr;
  }
  // Shown: a character with cells (at most 2, never more than its bytes), its spelling
  // in its word, then the blanks for 4 * its positions on the line + its cells (the word's
  // bits from 27 on: cells, 0, the top bit, which the lookup's index leaves out).
  const __mmask16 shown =
      _mm512_mask_test_epi32_mask(static_cast<__mmask16>(valid & free), words, set1<3u << 27>());
  const __m512i positions = _mm512_maskz_min_epu32(
      kAll, _mm512_mask_blend_epi32(static_cast<__mmask16>(valid3), set1<8>(), set1<12>()),
      _mm512_load_si512(kRoomLeft.left));
  const __m512i blank_words = _mm512_maskz_permutexvar_epi32(
      kAll, _mm512_or_si512(positions, _mm512_maskz_srli_epi32(kAll, words, 27)),
      _mm512_load_si512(kBlankWords.words));
  // Alone: the byte or a dot; a blank where the last line's character stands.
  __m256i alone = _mm256_mask_blend_epi8(printable, bytes_of<'.'>(), b);
  alone = _mm256_mask_blend_epi8(~free, alone, bytes_of<' '>());
  __m512i lanes = _mm512_maskz_cvtepu8_epi32(kAll, _mm256_castsi256_si128(alone));
  lanes = _mm512_mask_and_epi32(lanes, shown, words, set1<0xFFFFFF>());
  lanes = _mm512_mask_alignr_epi32(lanes, static_cast<__mmask16>(shown << 1), blank_words,
                                   _mm512_setzero_si512(), 15);
  lanes = _mm512_maskz_mov_epi32(static_cast<__mmask16>(~((shown & valid3) << 2)), lanes);
  const __mmask64 keep = _mm512_test_epi8_mask(lanes, lanes);
  _mm512_storeu_si512(p, _mm512_maskz_compress_epi8(keep, lanes));
  // The positions of the next line that a character at this one's end takes (no more
  // than 3 are shown blank, so none of those at 14 and 15).
  *carried =
      static_cast<int32_t>(((valid2 >> 15) & 1) + ((valid3 >> 14) & 1) + 2 * ((valid3 >> 15) & 1));
  return p + _mm_popcnt_u64(keep);
}

}  // namespace

void add_arch_utf8_row_writers(Utf8RowWriters& list) {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
      __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt")) {
    list.writers[list.count++] = {"avx512vbmi2", put_utf8_row_avx512vbmi2};
  }
}

}  // namespace dump
