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

// Per lane j: the positions left on the line from j, 16 - j.
struct RoomLeft {
  alignas(64) int32_t left[16];
};
constexpr RoomLeft kRoomLeft = [] {
  RoomLeft r{};
  for (int j = 0; j < 16; ++j) r.left[j] = 16 - j;
  return r;
}();

// Every lane: the masked forms of the intrinsics, as GCC 12 flags the undefined vectors
// inside the plain ones as uninitialised.
constexpr __mmask16 kAll = 0xFFFF;

// A constant in every lane, broadcast from memory, which costs a load: built from an
// immediate instead, as the compiler does with a value it knows, each takes the vector
// port that the row's work is short of (the empty asm hides the value from it).
template <uint32_t V>
struct Splat {
  static constexpr uint32_t value = V;
};

template <uint32_t V>
TOVIX_TARGET_VBMI2 inline __m512i set1() {
  const uint32_t* value = &Splat<V>::value;
  __asm__("" : "+r"(value));
  return _mm512_set1_epi32(static_cast<int>(*value));
}

// Each position's output in a lane of its own: a byte shown alone as itself or a dot, a
// character's spelling in its first byte's lane and the blanks after it in its second
// byte's lane, nothing in the lanes of its other bytes; then the empty bytes squeezed
// out. A character's bytes after its first are continuation bytes, which begin none, so
// every position that begins a character begins one in the sequential reading too.
TOVIX_TARGET_VBMI2 char* put_utf8_row_avx512vbmi2(char* p, const uint8_t* row, size_t ahead,
                                                  int32_t* carried) {
  const __m512i bytes = _mm512_maskz_loadu_epi8((uint64_t{1} << (16 + ahead)) - 1, row);
  const __m512i x =
      _mm512_maskz_permutexvar_epi8(~uint64_t{0}, _mm512_load_si512(kWindow.index), bytes);
  const __m512i b0 = _mm512_and_si512(x, set1<0xFF>());
  const __m512i c1 = _mm512_and_si512(_mm512_maskz_srli_epi32(kAll, x, 8), set1<0x3F>());
  const __m512i c2 = _mm512_and_si512(_mm512_maskz_srli_epi32(kAll, x, 16), set1<0x3F>());
  const __m512i tails = _mm512_and_si512(x, set1<0xC0C0C000>());
  // The positions shown blank for a character of the last line are left out only at the
  // end: the characters found at this line's end do not wait for the last line's.
  const __mmask16 lead2 =
      _mm512_cmple_epu32_mask(_mm512_sub_epi32(b0, set1<0xC2>()), set1<0xDF - 0xC2>());
  const __mmask16 lead3 = _mm512_cmpeq_epi32_mask(_mm512_and_si512(b0, set1<0xF0>()), set1<0xE0>());
  const __mmask16 lead4 =
      _mm512_cmple_epu32_mask(_mm512_sub_epi32(b0, set1<0xF0>()), set1<0xF4 - 0xF0>());
  const __mmask16 valid2 =
      _mm512_mask_cmpeq_epi32_mask(lead2, _mm512_and_si512(tails, set1<0xC000>()), set1<0x8000>());
  const __m512i cp3 = _mm512_or_si512(
      _mm512_or_si512(_mm512_maskz_slli_epi32(kAll, _mm512_and_si512(b0, set1<0x0F>()), 12),
                      _mm512_maskz_slli_epi32(kAll, c1, 6)),
      c2);
  // Three bytes: no overlong form (below U+0800) and no surrogate.
  __mmask16 valid3 = _mm512_mask_cmpeq_epi32_mask(lead3, _mm512_and_si512(tails, set1<0xC0C000>()),
                                                  set1<0x808000>());
  valid3 = _mm512_mask_cmpge_epu32_mask(valid3, cp3, set1<0x800>());
  valid3 =
      _mm512_mask_cmpneq_epi32_mask(valid3, _mm512_and_si512(cp3, set1<0xF800>()), set1<0xD800>());
  // Four continuation bytes after F0-F4: perhaps a character beyond the BMP, whose word
  // is not kept; the general column takes the row.
  const __mmask16 beyond = _mm512_mask_cmpeq_epi32_mask(lead4, tails, set1<0x80808000>());
  const __mmask16 valid = valid2 | valid3;
  const __m512i cp2 =
      _mm512_or_si512(_mm512_maskz_slli_epi32(kAll, _mm512_and_si512(b0, set1<0x1F>()), 6), c1);
  const __m512i cp = _mm512_mask_blend_epi32(valid3, cp2, cp3);
  const __m512i words =
      _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), valid, cp, console::g_char_words, 4);
  constexpr uint32_t kBuiltShort = console::kCharWordBuilt | console::kCharWordLong;
  const __mmask16 unbuilt = _mm512_mask_cmpneq_epi32_mask(
      valid, _mm512_and_si512(words, set1<kBuiltShort>()), set1<console::kCharWordBuilt>());
  const __mmask16 free = static_cast<__mmask16>(~((1u << *carried) - 1));
  if (((unbuilt | beyond) & free) != 0) return nullptr;
  // Shown: a character with cells (at most 2, never more than its bytes).
  const __mmask16 shown = _mm512_mask_test_epi32_mask(valid & free, words, set1<3u << 27>());
  const __m512i cells = _mm512_and_si512(_mm512_maskz_srli_epi32(kAll, words, 27), set1<3>());
  const __m512i length = _mm512_mask_blend_epi32(valid3, set1<2>(), set1<3>());
  const __m512i in_line = _mm512_maskz_min_epu32(kAll, length, _mm512_load_si512(kRoomLeft.left));
  const __m512i blanks =
      _mm512_maskz_max_epi32(kAll, _mm512_sub_epi32(in_line, cells), _mm512_setzero_si512());
  const __m512i blank_words = _mm512_maskz_permutexvar_epi32(
      kAll, blanks, _mm512_setr_epi32(0, 0x20, 0x2020, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0));
  const __mmask16 printable =
      _mm512_cmple_epu32_mask(_mm512_sub_epi32(b0, set1<0x20>()), set1<0x7E - 0x20>());
  __m512i lanes = _mm512_mask_mov_epi32(set1<'.'>(), printable, b0);
  lanes = _mm512_mask_mov_epi32(lanes, shown, _mm512_and_si512(words, set1<0xFFFFFF>()));
  lanes = _mm512_mask_mov_epi32(
      lanes, static_cast<__mmask16>(shown << 1),
      _mm512_maskz_alignr_epi32(kAll, blank_words, _mm512_setzero_si512(), 15));
  lanes = _mm512_mask_mov_epi32(lanes, static_cast<__mmask16>((shown & valid3) << 2),
                                _mm512_setzero_si512());
  lanes = _mm512_mask_mov_epi32(lanes, static_cast<__mmask16>(~free), set1<' '>());
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
