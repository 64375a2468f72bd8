// Decoded rows for x86-64: the positions' words in vector lanes, fetched with gathers
// (AVX2 on) or one by one, and the 0 bytes after each spelling squeezed out by one
// compress (AVX-512 VBMI2), by the shuffles of the converted column (SSSE3, AVX2) or
// word by word (SSE2). Compiled function by function for their instruction sets and
// chosen only for a row kernel of the same set, so the program runs on any x86-64.
#include <immintrin.h>

#include <bit>
#include <cstring>
#include <string_view>

#include "dump/char_row.h"
#include "dump/decoded_row.h"
#include "dump/hex_simd_x86_column.h"

#define TOVIX_DECODED_SSSE3 __attribute__((target("ssse3")))
#define TOVIX_DECODED_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))
#define TOVIX_DECODED_VBMI2 \
  __attribute__((target("avx2,bmi,bmi2,popcnt,avx512f,avx512bw,avx512vl,avx512vbmi2")))

namespace dump {
namespace {

using shuffle_column::put_slots;

inline __m128i load16(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// The bytes of x from 0xA1 to 0xFE (those of JIS rows and cells), as 0xFF.
inline __m128i euc_bytes(__m128i x) {
  const __m128i d = _mm_sub_epi8(x, _mm_set1_epi8(static_cast<char>(0xA1)));
  return _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(0x5D)), d);
}

// Bytes of the row shown on their own: printable ASCII as itself, else a dot.
inline __m128i single_bytes(__m128i v) {
  const __m128i d = _mm_sub_epi8(v, _mm_set1_epi8(0x20));
  const __m128i copy = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(0x5E)), d);
  return _mm_or_si128(_mm_and_si128(copy, v), _mm_andnot_si128(copy, _mm_set1_epi8('.')));
}

// A 0x8F that begins a JIS X 0212 character: the row goes to the general column.
inline bool has_triple(__m128i v, const uint8_t* row) {
  const __m128i lead = _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0x8F)));
  const __m128i t =
      _mm_and_si128(lead, _mm_and_si128(euc_bytes(load16(row + 1)), euc_bytes(load16(row + 2))));
  return _mm_movemask_epi8(t) != 0;
}

// Fills the pair words the row met unbuilt; false when one is left to the general column.
inline bool build_pairs(const uint8_t* row, uint32_t unknown) {
  for (; unknown != 0; unknown &= unknown - 1) {
    const int k = __builtin_ctz(unknown);
    if (build_euc_pair_word(row[k], row[k + 1]) == kGeneralPair) return false;
  }
  return true;
}

// A pair word at the line's last position, lane by lane (see last_position_word).
TOVIX_DECODED_AVX2 inline __m256i last_position_words(__m256i w) {
  const __m256i t = _mm256_srli_epi32(_mm256_and_si256(w, _mm256_set1_epi32(0x80808000)), 7);
  const __m256i keep =
      _mm256_or_si256(_mm256_sub_epi32(_mm256_slli_epi32(t, 8), t), _mm256_set1_epi32(0xFF));
  return _mm256_and_si256(w, keep);
}

// Lane masks of the low 8 bits of bits.
TOVIX_DECODED_AVX2 inline __m256i lanes_of(uint32_t bits) {
  const __m256i bit = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
  return _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(static_cast<int>(bits)), bit), bit);
}

// The word of each code unit over its two positions (see unit_word), lane by lane.
TOVIX_DECODED_AVX2 inline __m256i unit_words(__m256i w) {
  const __m256i cells = _mm256_and_si256(_mm256_srli_epi32(w, 27), _mm256_set1_epi32(3));
  const __m256i bytes = _mm256_and_si256(_mm256_srli_epi32(w, 24), _mm256_set1_epi32(7));
  const __m256i one = _mm256_cmpeq_epi32(cells, _mm256_set1_epi32(1));
  const __m256i hidden = _mm256_cmpeq_epi32(cells, _mm256_setzero_si256());
  const __m256i blank =
      _mm256_and_si256(one, _mm256_sllv_epi32(_mm256_set1_epi32(' '), _mm256_slli_epi32(bytes, 3)));
  const __m256i shown = _mm256_or_si256(_mm256_and_si256(w, _mm256_set1_epi32(0xFFFFFF)), blank);
  return _mm256_blendv_epi8(shown, _mm256_set1_epi32('.' | '.' << 8), hidden);
}

// The code units of a row, in 32-bit lanes, and whether the row holds a surrogate pair
// (or a high surrogate at its end, whose low one would be in the next line).
template <bool kBigEndian>
TOVIX_DECODED_AVX2 inline __m256i code_units(const uint8_t* row, bool* pair) {
  __m128i v = load16(row);
  if (kBigEndian) {
    v = _mm_shuffle_epi8(v, _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14));
  }
  const __m128i top = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xFC00)));
  const uint32_t high = static_cast<uint32_t>(
      _mm_movemask_epi8(_mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xD800)))));
  const uint32_t low = static_cast<uint32_t>(
      _mm_movemask_epi8(_mm_cmpeq_epi16(top, _mm_set1_epi16(static_cast<short>(0xDC00)))));
  // Two mask bits per unit: a high one followed by a low one is 4 bits apart.
  *pair = (high & ((low >> 2) | 0x8000)) != 0;
  return _mm256_cvtepu16_epi32(v);
}

// A row of ASCII code units, as text in UTF-16 mostly is: each is itself and a blank, or
// two dots for a control code, sixteen bytes in all without a lookup; nullptr for a row
// with another unit.
template <bool kBigEndian>
inline char* put_ascii_units(char* p, const uint8_t* row) {
  const __m128i v = load16(row);
  // The high byte of each unit (the first in UTF-16BE) 0, the low byte below 0x80.
  const __m128i other = _mm_set1_epi16(static_cast<short>(kBigEndian ? 0x80FF : 0xFF80));
  if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, other), _mm_setzero_si128())) != 0xFFFF) {
    return nullptr;
  }
  const __m128i d = _mm_sub_epi8(v, _mm_set1_epi8(0x20));
  __m128i printable = _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(0x5E)), d);
  // The low byte's verdict over the whole unit; the character first, then the blank.
  printable =
      kBigEndian ? _mm_srai_epi16(printable, 8) : _mm_srai_epi16(_mm_slli_epi16(printable, 8), 8);
  const __m128i text = _mm_or_si128(kBigEndian ? _mm_srli_epi16(v, 8) : v, _mm_set1_epi16(0x2000));
  const __m128i out =
      _mm_or_si128(_mm_and_si128(printable, text), _mm_andnot_si128(printable, _mm_set1_epi8('.')));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), out);
  return p + 16;
}

// The units' char words, built where not yet; false when one is too long for a word.
TOVIX_DECODED_AVX2 inline bool unit_char_words(__m256i units, __m256i* w) {
  const int* table = reinterpret_cast<const int*>(console::g_char_words);
  *w = _mm256_i32gather_epi32(table, units, 4);
  uint32_t unbuilt = static_cast<uint32_t>(
      _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(*w, _mm256_setzero_si256()))));
  if (unbuilt != 0) {
    alignas(32) uint32_t u[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(u), units);
    for (; unbuilt != 0; unbuilt &= unbuilt - 1)
      console::build_char_word(u[__builtin_ctz(unbuilt)]);
    *w = _mm256_i32gather_epi32(table, units, 4);
  }
  const __m256i long_words =
      _mm256_and_si256(*w, _mm256_set1_epi32(static_cast<int>(console::kCharWordLong)));
  return _mm256_testz_si256(long_words, long_words) != 0;
}

// The words of a row of sixteen code units over their positions (see unit_words); false
// when the general column must write the row: it holds a surrogate pair, or a unit's
// spelling is too long for a word.
template <bool kBigEndian>
TOVIX_DECODED_AVX2 inline bool row_unit_words(const uint8_t* row, __m256i* words) {
  bool pair;
  const __m256i units = code_units<kBigEndian>(row, &pair);
  __m256i w;
  if (pair || !unit_char_words(units, &w)) return false;
  *words = unit_words(w);
  return true;
}

// EUC-JP: a position begins a character when its pair word is one (two high bytes that
// decode), and of a run of such positions the first, third and so on do (each takes the
// one after it), as Shift_JIS lead bytes are held; a line that begins inside a character
// starts its runs after the positions it took. A pair at the last position takes the
// first byte of the next line.

// The EUC-JP pair words of a row's positions, 0 where the two bytes are not both high,
// with the masks of the positions that begin a character (valid) and of those whose
// word is not built yet or is left to the general column (unknown).
inline void load_pair_words(const uint8_t* row, uint32_t high, uint32_t (&w)[16], uint32_t* valid,
                            uint32_t* unknown) {
  // Only the positions of two high bytes, a quarter of random bytes' positions: the
  // loop's end is mispredicted now and then, which costs less than sixteen loads.
  std::memset(w, 0, sizeof w);
  uint32_t v = 0, u = 0;
  for (uint32_t bits = high; bits != 0; bits &= bits - 1) {
    const int k = std::countr_zero(bits);
    const uint32_t word = g_euc_pair_words[euc_pair_index(row[k], row[k + 1])];
    w[k] = word;
    v |= static_cast<uint32_t>(word > kGeneralPair) << k;
    u |= static_cast<uint32_t>(word == 0 || word == kGeneralPair) << k;
  }
  *valid = v;
  *unknown = u;
}

// Lanes 4k to 4k + 3 of bits as 32-bit lane masks.
inline __m128i four_lanes(uint32_t bits, int k) {
  const __m128i bit = _mm_setr_epi32(1, 2, 4, 8);
  return _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(static_cast<int>(bits >> (4 * k))), bit),
                         bit);
}

// The words of a row's positions, four to a vector, from its pair words w and the
// positions that begin a character, that are blank and that are taken.
inline void pair_row_words(__m128i v, const uint32_t (&w)[16], uint32_t starts, uint32_t blank,
                           uint32_t taken, __m128i (&words)[4]) {
  const __m128i single = single_bytes(v), zero = _mm_setzero_si128();
  const __m128i single16[2] = {_mm_unpacklo_epi8(single, zero), _mm_unpackhi_epi8(single, zero)};
  for (int k = 0; k < 4; ++k) {
    const __m128i s16 = single16[k / 2];
    __m128i x = k % 2 == 0 ? _mm_unpacklo_epi16(s16, zero) : _mm_unpackhi_epi16(s16, zero);
    const __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 4 * k));
    const __m128i m_start = four_lanes(starts, k), m_blank = four_lanes(blank, k);
    x = _mm_or_si128(_mm_and_si128(m_start, pair), _mm_andnot_si128(m_start, x));
    x = _mm_or_si128(_mm_and_si128(m_blank, _mm_set1_epi32(' ')), _mm_andnot_si128(m_blank, x));
    words[k] = _mm_andnot_si128(four_lanes(taken, k), x);
  }
}

// The pair words of an EUC-JP row and what each position shows, for pair_row_words;
// false when the row goes to the general column.
inline bool euc_jp_row_words(const uint8_t* row, int32_t* carried, __m128i (&words)[4]) {
  const uint32_t c = static_cast<uint32_t>(*carried);
  if (c > 15) return false;
  const __m128i v = load16(row);
  if (has_triple(v, row)) return false;
  const uint32_t high = static_cast<uint32_t>(_mm_movemask_epi8(_mm_and_si128(v, load16(row + 1))));
  alignas(16) uint32_t w[16];
  uint32_t valid, unknown;
  load_pair_words(row, high, w, &valid, &unknown);
  if (unknown != 0) {
    if (!build_pairs(row, unknown)) return false;
    load_pair_words(row, high, w, &valid, &unknown);
  }
  const uint32_t blank = (1u << c) - 1;
  const uint32_t starts = held_leads(valid & ~blank);
  w[15] = last_position_word(w[15]);
  *carried = static_cast<int32_t>(starts >> 15);
  pair_row_words(v, w, starts, blank, starts << 1, words);
  return true;
}

// ---- SSE2: the words fetched one by one and stored one by one, each advancing the
// output by its length.

char* put_euc_jp_row_sse2(char* p, const uint8_t* row, int32_t* carried) {
  __m128i words[4];
  if (!euc_jp_row_words(row, carried, words)) return nullptr;
  alignas(16) uint32_t w[16];
  for (int k = 0; k < 4; ++k) _mm_store_si128(reinterpret_cast<__m128i*>(w + 4 * k), words[k]);
  for (const uint32_t word : w) {
    std::memcpy(p, &word, sizeof word);
    // The count of bytes up to the last that is not 0, without a branch on 0 (as in
    // put_indexed_words): word | 1 has the bit width of word, or 1 when it is 0.
    p += (std::bit_width(word | 1) + 7) / 8 - (word == 0 ? 1 : 0);
  }
  return p;
}

// ---- SSSE3: the words fetched one by one, squeezed four at a time by the converted
// column's shuffles.

TOVIX_DECODED_SSSE3 char* put_euc_jp_row_ssse3(char* p, const uint8_t* row, int32_t* carried) {
  __m128i words[4];
  if (!euc_jp_row_words(row, carried, words)) return nullptr;
  for (const __m128i& four : words) p = put_slots(p, four);
  return p;
}

// ---- AVX2: words squeezed four at a time by the converted column's shuffles.

TOVIX_DECODED_AVX2 char* put_euc_jp_row_avx2(char* p, const uint8_t* row, int32_t* carried) {
  const uint32_t c = static_cast<uint32_t>(*carried);
  if (c > 15) return nullptr;
  const __m128i v = load16(row), n = load16(row + 1);
  if (has_triple(v, row)) return nullptr;
  const uint32_t high = static_cast<uint32_t>(_mm_movemask_epi8(_mm_and_si128(v, n)));
  const __m256i m7f = _mm256_set1_epi32(0x7F);
  const int* table = reinterpret_cast<const int*>(g_euc_pair_words);
  __m256i w[2];
  uint32_t unknown = 0, valid = 0;
  for (int h = 0; h < 2; ++h) {
    const __m128i vh = h == 0 ? v : _mm_srli_si128(v, 8), nh = h == 0 ? n : _mm_srli_si128(n, 8);
    const __m256i index =
        _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(_mm256_cvtepu8_epi32(vh), m7f), 7),
                        _mm256_and_si256(_mm256_cvtepu8_epi32(nh), m7f));
    const __m256i mask = lanes_of(high >> (8 * h));
    w[h] = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), table, index, mask, 4);
    // Words 0 and kGeneralPair are at most 2; kNoPair is 1.
    const __m256i small =
        _mm256_cmpeq_epi32(_mm256_max_epu32(w[h], _mm256_set1_epi32(2)), _mm256_set1_epi32(2));
    const __m256i none = _mm256_cmpeq_epi32(w[h], _mm256_set1_epi32(static_cast<int>(kNoPair)));
    const uint32_t small_bits =
        static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(small)));
    const uint32_t none_bits = static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(none)));
    unknown |= (small_bits & ~none_bits) << (8 * h);
    valid |= (~small_bits & 0xFF) << (8 * h);
  }
  unknown &= high;
  if (unknown != 0) {
    return build_pairs(row, unknown) ? put_euc_jp_row_avx2(p, row, carried) : nullptr;
  }
  const uint32_t blank = (1u << c) - 1;
  const uint32_t starts = held_leads(valid & ~blank);
  const uint32_t taken = starts << 1;
  w[1] = _mm256_blend_epi32(w[1], last_position_words(w[1]), 0x80);
  const __m128i single = single_bytes(v);
  for (int h = 0; h < 2; ++h) {
    const int shift = 8 * h;
    __m256i words = _mm256_cvtepu8_epi32(h == 0 ? single : _mm_srli_si128(single, 8));
    words = _mm256_blendv_epi8(words, w[h], lanes_of(starts >> shift));
    words = _mm256_blendv_epi8(words, _mm256_set1_epi32(' '), lanes_of(blank >> shift));
    words = _mm256_andnot_si256(lanes_of(taken >> shift), words);
    p = put_slots(p, _mm256_castsi256_si128(words));
    p = put_slots(p, _mm256_extracti128_si256(words, 1));
  }
  *carried = static_cast<int32_t>(starts >> 15);
  return p;
}

template <bool kBigEndian>
TOVIX_DECODED_AVX2 char* put_utf16_row_avx2(char* p, const uint8_t* row, int32_t* carried) {
  if (*carried != 0) return nullptr;
  if (char* end = put_ascii_units<kBigEndian>(p, row)) return end;
  __m256i words;
  if (!row_unit_words<kBigEndian>(row, &words)) return nullptr;
  p = put_slots(p, _mm256_castsi256_si128(words));
  return put_slots(p, _mm256_extracti128_si256(words, 1));
}

// ---- AVX-512 VBMI2: sixteen words in one register, squeezed by one compress.

TOVIX_DECODED_VBMI2 char* put_euc_jp_row_vbmi2(char* p, const uint8_t* row, int32_t* carried) {
  const uint32_t c = static_cast<uint32_t>(*carried);
  if (c > 15) return nullptr;
  const __m128i v = load16(row), n = load16(row + 1);
  if (has_triple(v, row)) return nullptr;
  const __mmask16 high = _mm_movepi8_mask(_mm_and_si128(v, n));
  const __m512i m7f = _mm512_set1_epi32(0x7F);
  const __m512i index =
      _mm512_or_si512(_mm512_maskz_slli_epi32(
                          0xFFFF, _mm512_and_si512(_mm512_maskz_cvtepu8_epi32(0xFFFF, v), m7f), 7),
                      _mm512_and_si512(_mm512_maskz_cvtepu8_epi32(0xFFFF, n), m7f));
  __m512i w = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), high, index, g_euc_pair_words, 4);
  const __mmask16 small = _mm512_cmple_epu32_mask(w, _mm512_set1_epi32(2));
  const uint32_t unknown =
      high & small & ~_mm512_cmpeq_epi32_mask(w, _mm512_set1_epi32(static_cast<int>(kNoPair)));
  if (unknown != 0) {
    return build_pairs(row, unknown) ? put_euc_jp_row_vbmi2(p, row, carried) : nullptr;
  }
  const uint32_t valid = static_cast<uint32_t>(~small) & 0xFFFF;
  const uint32_t blank = (1u << c) - 1;
  const uint32_t starts = held_leads(valid & ~blank);
  const uint32_t taken = starts << 1;
  const __m512i t =
      _mm512_maskz_srli_epi32(0xFFFF, _mm512_and_si512(w, _mm512_set1_epi32(0x80808000)), 7);
  const __m512i last = _mm512_and_si512(
      w, _mm512_or_si512(_mm512_sub_epi32(_mm512_maskz_slli_epi32(0xFFFF, t, 8), t),
                         _mm512_set1_epi32(0xFF)));
  w = _mm512_mask_mov_epi32(w, 0x8000, last);
  __m512i words = _mm512_maskz_cvtepu8_epi32(0xFFFF, single_bytes(v));
  words = _mm512_mask_mov_epi32(words, static_cast<__mmask16>(starts), w);
  words = _mm512_mask_mov_epi32(words, static_cast<__mmask16>(blank), _mm512_set1_epi32(' '));
  words = _mm512_maskz_mov_epi32(static_cast<__mmask16>(~taken), words);
  const __mmask64 keep = _mm512_test_epi8_mask(words, words);
  _mm512_storeu_si512(p, _mm512_maskz_compress_epi8(keep, words));
  *carried = static_cast<int32_t>(starts >> 15);
  return p + _mm_popcnt_u64(keep);
}

template <bool kBigEndian>
TOVIX_DECODED_VBMI2 char* put_utf16_row_vbmi2(char* p, const uint8_t* row, int32_t* carried) {
  if (*carried != 0) return nullptr;
  if (char* end = put_ascii_units<kBigEndian>(p, row)) return end;
  __m256i words;
  if (!row_unit_words<kBigEndian>(row, &words)) return nullptr;
  const __mmask32 keep = _mm256_test_epi8_mask(words, words);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_maskz_compress_epi8(keep, words));
  return p + _mm_popcnt_u32(keep);
}

}  // namespace

void add_arch_decoded_rows(const char* kernel_name, DecodedRowPaths& paths) {
  // Each kernel name implies the processor runs its instruction set.
  const std::string_view name = kernel_name;
  if (name == "avx512vbmi2") {
    paths = {put_euc_jp_row_vbmi2, put_utf16_row_vbmi2<false>, put_utf16_row_vbmi2<true>};
  } else if (name == "avx2gather" || name == "avx2" || name == "avx512vbmi") {
    paths = {put_euc_jp_row_avx2, put_utf16_row_avx2<false>, put_utf16_row_avx2<true>};
  } else if (name == "ssse3") {
    paths.euc_jp = put_euc_jp_row_ssse3;
  } else if (name == "sse2") {
    paths.euc_jp = put_euc_jp_row_sse2;
  }
}

}  // namespace dump
