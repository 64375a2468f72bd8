// The converted character column with byte shuffles, for x86-64 kernels from SSSE3 on
// (included by hex_simd_x86.cpp; decoded_row_x86.cpp squeezes its words with put_slots).
//
// A position that shows one byte on its own spells it as itself, as a dot, or, for the
// bytes spelt otherwise (half-width kana), by a spelling that is a sum of two nibble
// tables byte by byte: under UTF-8 the kana 0xA1-0xDF are EF BD A1-BF and EF BE 80-9F,
// whose second byte follows the high nibble and whose third is 0x80 plus the low six
// bits. So every single-byte spelling comes from shuffles of the row, one byte plane at
// a time; only the pairs' spellings come from the table of words, by plain loads or by a
// gather. The planes are interleaved into a 4-byte slot per position, and the 0 bytes
// after each spelling are squeezed out four slots at a time by one shuffle from a table
// of the 625 ways four slots of 0 to 4 bytes can be filled.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "dump/char_row.h"
#include "dump/hex_simd.h"

#define TOVIX_COLUMN_SSSE3 __attribute__((target("ssse3")))
#define TOVIX_COLUMN_AVX2 __attribute__((target("avx2")))

namespace dump {
namespace shuffle_column {

// Byte k of the spelling of a byte spelt otherwise is high[k][b >> 4] + low[k][b & 15].
struct Planes {
  alignas(16) uint8_t high[3][16];
  alignas(16) uint8_t low[3][16];
  bool usable = false;  // every single-byte spelling is one of the three kinds above
};
inline Planes g_planes;

// The shuffles that squeeze four slots: entry l0 + 5 l1 + 25 l2 + 125 l3 takes the first
// l_i bytes of slot i, one after another, and zeros the rest; length is their sum.
struct Squeezes {
  alignas(16) int8_t take[625][16];
  uint8_t length[625];
};
inline constexpr Squeezes kSqueezes = [] {
  Squeezes s{};
  for (int e = 0; e < 625; ++e) {
    int out = 0;
    for (int i = 0, rest = e; i < 4; ++i, rest /= 5) {
      for (int b = 0; b < rest % 5; ++b) s.take[e][out++] = static_cast<int8_t>(4 * i + b);
    }
    s.length[e] = static_cast<uint8_t>(out);
    for (int b = out; b < 16; ++b) s.take[e][b] = -128;
  }
  return s;
}();

// Learns the planes from the column words and the byte classes (ScanRanges::table).
inline void setup(const uint8_t (&classes)[256]) {
  Planes& p = g_planes;
  p.usable = g_column_words.usable;
  bool glyph[256];
  uint8_t want[3][256];
  for (int b = 0; b < 256; ++b) {
    const uint32_t w = g_column_words.words[b];
    // A lead byte never shows on its own: its spelling does not matter.
    const bool lead = (classes[b] & 1) != 0;
    glyph[b] = (classes[b] & 8) != 0 && !lead;
    for (int k = 0; k < 3; ++k) want[k][b] = static_cast<uint8_t>(w >> (8 * k));
    if (lead) continue;
    if (glyph[b]) {
      p.usable = p.usable && (w >> 24) == 0;
    } else {
      p.usable = p.usable && w == ((classes[b] & 4) != 0 ? static_cast<uint32_t>(b) : '.');
    }
  }
  for (int k = 0; k < 3 && p.usable; ++k) {
    p.usable = solve_nibble_sums(glyph, want[k], p.high[k], p.low[k]);
  }
}

TOVIX_COLUMN_SSSE3 inline __m128i load16(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// Bit masks of 16 bits as 16 bytes 0x00 or 0xFF.
TOVIX_COLUMN_SSSE3 inline __m128i byte_mask(uint32_t m) {
  const __m128i spread =
      _mm_shuffle_epi8(_mm_cvtsi32_si128(static_cast<int>(m)),
                       _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1));
  const __m128i bit = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
  return _mm_cmpeq_epi8(_mm_and_si128(spread, bit), bit);
}

// Squeezes the 0 bytes out of four slots and stores the rest at p; returns its end.
TOVIX_COLUMN_SSSE3 inline char* put_slots(char* p, __m128i slots) {
  const __m128i weights = _mm_setr_epi8(1, 1, 1, 1, 5, 5, 5, 5, 25, 25, 25, 25, 125, 125, 125, 125);
  const __m128i filled = _mm_andnot_si128(_mm_cmpeq_epi8(slots, _mm_setzero_si128()), weights);
  const __m128i sums = _mm_sad_epu8(filled, _mm_setzero_si128());
  const int e = _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                   _mm_shuffle_epi8(slots, load16(kSqueezes.take[e])));
  return p + kSqueezes.length[e];
}

// Lanes 4k to 4k + 3 of bits as 32-bit lane masks.
TOVIX_COLUMN_SSSE3 inline __m128i lane_masks(uint32_t bits, int k) {
  const __m128i bit = _mm_setr_epi32(1 << (4 * k), 2 << (4 * k), 4 << (4 * k), 8 << (4 * k));
  return _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(static_cast<int>(bits)), bit), bit);
}

// The row's pair words, each in the slot of its lead byte and 0 elsewhere, fetched with
// plain loads; false when a pair's word is 0. next is the byte after each position.
// Pairs never touch (a held byte takes the one after it), so each window of positions
// 2i and 2i + 1 starts at most one: eight loads, whatever the row holds, and no branch
// for the processor to mispredict on the number of pairs.
TOVIX_COLUMN_SSSE3 inline bool load_pairs(__m128i v, __m128i next, uint32_t pairs,
                                          __m128i (&slots)[4]) {
  alignas(16) uint16_t index[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(index), _mm_unpacklo_epi8(next, v));
  _mm_store_si128(reinterpret_cast<__m128i*>(index + 8), _mm_unpackhi_epi8(next, v));
  const uint32_t* table = g_column_words.words + console::pair_word_index(0, 0);
  int w[8];
  for (int i = 0; i < 8; ++i) {
    // A window without a pair fetches some word in bounds, cleared below.
    w[i] = static_cast<int>(table[index[2 * i + ((pairs >> (2 * i + 1)) & 1)]]);
  }
  const __m128i windows[2] = {_mm_setr_epi32(w[0], w[1], w[2], w[3]),
                              _mm_setr_epi32(w[4], w[5], w[6], w[7])};
  __m128i zero = _mm_setzero_si128();
  for (int k = 0; k < 4; ++k) {
    // Each window's word in both its slots, kept in the one where the pair starts.
    const __m128i both = k % 2 == 0 ? _mm_unpacklo_epi32(windows[k / 2], windows[k / 2])
                                    : _mm_unpackhi_epi32(windows[k / 2], windows[k / 2]);
    const __m128i keep = lane_masks(pairs, k);
    slots[k] = _mm_and_si128(both, keep);
    zero = _mm_or_si128(zero, _mm_and_si128(keep, _mm_cmpeq_epi32(both, _mm_setzero_si128())));
  }
  return _mm_movemask_epi8(zero) == 0;
}

// The same with two gathers of eight, only the pairs' lanes fetched.
TOVIX_COLUMN_AVX2 inline bool gather_pairs(__m128i v, __m128i next, uint32_t pairs,
                                           __m128i (&slots)[4]) {
  const __m256i base = _mm256_set1_epi32(static_cast<int>(console::pair_word_index(0, 0)));
  const __m128i pair_lo = _mm_unpacklo_epi8(next, v), pair_hi = _mm_unpackhi_epi8(next, v);
  const __m256i index[2] = {_mm256_add_epi32(_mm256_cvtepu16_epi32(pair_lo), base),
                            _mm256_add_epi32(_mm256_cvtepu16_epi32(pair_hi), base)};
  const __m256i bit = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
  const int* table = reinterpret_cast<const int*>(g_column_words.words);
  int zero = 0;
  for (int h = 0; h < 2; ++h) {
    const __m256i lanes = _mm256_set1_epi32(static_cast<int>(pairs >> (8 * h)));
    const __m256i mask = _mm256_cmpeq_epi32(_mm256_and_si256(lanes, bit), bit);
    const __m256i w = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), table, index[h], mask, 4);
    zero |=
        _mm256_movemask_epi8(_mm256_and_si256(mask, _mm256_cmpeq_epi32(w, _mm256_setzero_si256())));
    slots[2 * h] = _mm256_castsi256_si128(w);
    slots[2 * h + 1] = _mm256_extracti128_si256(w, 1);
  }
  return zero == 0;
}

using PairFetch = bool (*)(__m128i v, __m128i next, uint32_t pairs, __m128i (&slots)[4]);

// The converted column (a WordRowFn): single-byte spellings by shuffles, pairs by Fetch,
// Fallback when the planes cannot spell the single bytes.
template <PairFetch Fetch, WordRowFn Fallback>
TOVIX_COLUMN_SSSE3 inline char* put_word_row(char* col, const uint8_t* row, const WordRow& r) {
  if (!g_planes.usable) return Fallback(col, row, r);
  const Planes& t = g_planes;
  const __m128i v = load16(row);
  const __m128i nibble = _mm_set1_epi8(15);
  const __m128i high = _mm_and_si128(_mm_srli_epi16(v, 4), nibble), low = _mm_and_si128(v, nibble);
  __m128i plane[3];
  for (int k = 0; k < 3; ++k) {
    plane[k] = _mm_add_epi8(_mm_shuffle_epi8(load16(t.high[k]), high),
                            _mm_shuffle_epi8(load16(t.low[k]), low));
  }
  // Byte 0: the byte itself, its other spelling, or a dot; the others only for spellings.
  const __m128i glyph = byte_mask(r.glyph), copy = byte_mask(r.copy);
  plane[0] = _mm_or_si128(
      _mm_and_si128(copy, v),
      _mm_andnot_si128(copy, _mm_or_si128(_mm_and_si128(glyph, plane[0]),
                                          _mm_andnot_si128(glyph, _mm_set1_epi8('.')))));
  plane[1] = _mm_and_si128(glyph, plane[1]);
  plane[2] = _mm_and_si128(glyph, plane[2]);
  // Fixed spellings: ".." everywhere but at position 15 ("."), and " " at position 0
  // when it stands for a byte shown at the last line's end.
  const __m128i special = byte_mask(r.specials);
  const __m128i first = _mm_cvtsi32_si128(r.blank_first ? 0xFF : 0);
  const __m128i dots0 = _mm_or_si128(_mm_andnot_si128(first, _mm_set1_epi8('.')),
                                     _mm_and_si128(first, _mm_set1_epi8(' ')));
  const __m128i dots1 = _mm_andnot_si128(
      _mm_or_si128(first, _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -1)),
      _mm_set1_epi8('.'));
  plane[0] = _mm_or_si128(_mm_andnot_si128(special, plane[0]), _mm_and_si128(special, dots0));
  plane[1] = _mm_or_si128(_mm_andnot_si128(special, plane[1]), _mm_and_si128(special, dots1));
  // Nothing where a held byte took the byte, and the pairs' slots left for their words.
  const __m128i cleared = _mm_or_si128(byte_mask(r.empty), byte_mask(r.pairs));
  plane[2] = _mm_andnot_si128(_mm_or_si128(cleared, special), plane[2]);
  plane[0] = _mm_andnot_si128(cleared, plane[0]);
  plane[1] = _mm_andnot_si128(cleared, plane[1]);

  __m128i pair_slots[4] = {};
  if (r.pairs != 0) {
    const __m128i next = _mm_alignr_epi8(_mm_cvtsi32_si128(static_cast<int>(r.next15)), v, 1);
    if (!Fetch(v, next, r.pairs, pair_slots)) return nullptr;
  }
  // Planes to slots: bytes 0 and 1 of each position side by side, then byte 2 and 0.
  const __m128i b01[2] = {_mm_unpacklo_epi8(plane[0], plane[1]),
                          _mm_unpackhi_epi8(plane[0], plane[1])};
  const __m128i b2[2] = {_mm_unpacklo_epi8(plane[2], _mm_setzero_si128()),
                         _mm_unpackhi_epi8(plane[2], _mm_setzero_si128())};
  char* p = col;
  for (int i = 0; i < 4; ++i) {
    const __m128i slots = i % 2 == 0 ? _mm_unpacklo_epi16(b01[i / 2], b2[i / 2])
                                     : _mm_unpackhi_epi16(b01[i / 2], b2[i / 2]);
    p = put_slots(p, _mm_or_si128(slots, pair_slots[i]));
  }
  return p;
}

}  // namespace shuffle_column
}  // namespace dump
