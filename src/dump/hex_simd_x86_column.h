// The converted character column with byte shuffles, for x86-64 kernels from SSSE3 on
// (included by hex_simd_x86.cpp; the decoded row writers use its squeeze and byte masks).
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

namespace dump {
namespace shuffle_column {

// Two rows' converted columns at once with AVX2: the first row in the low 128-bit lane of
// every vector and the next in the high one, so that each instruction does both rows'
// work; the columns come out one after the other, with the second row's offset and hex
// column written between them.
struct TwoColumns {
  __m256i squeezed[4];   // each row's four slots squeezed, in its lane
  uint8_t length[2][4];  // how many bytes of each are the column's
  bool spelt[2];         // every pair's word of the row is spelt (else glyph by glyph)
};

TOVIX_COLUMN_AVX2 inline __m256i byte_masks(uint32_t a, uint32_t b) {
  const __m256i spread =
      _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(a | b << 16)),
                          _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2,
                                           2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3));
  const __m256i bit = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
  return _mm256_cmpeq_epi8(_mm256_and_si256(spread, bit), bit);
}

TOVIX_COLUMN_AVX2 inline __m256i both_lanes(const void* p) {
  return _mm256_broadcastsi128_si256(load16(p));
}

// How the two-line loop fetches the pairs' words: a plain load per window of two
// positions, or two gathers of eight windows.
enum class PairLoads { kPlain, kGather };

// The columns of rows and rows + 16, a and b (the work of put_word_row, two at a time).
template <PairLoads Loads>
TOVIX_COLUMN_AVX2 inline void prepare_two_columns(const uint8_t* rows, const WordRow& a,
                                                  const WordRow& b, TwoColumns& two) {
  const Planes& t = g_planes;
  const __m256i zero = _mm256_setzero_si256();
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows));
  const __m256i nibble = _mm256_set1_epi8(15);
  const __m256i high = _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble);
  const __m256i low = _mm256_and_si256(v, nibble);
  __m256i plane[3];
  for (int k = 0; k < 3; ++k) {
    plane[k] = _mm256_add_epi8(_mm256_shuffle_epi8(both_lanes(t.high[k]), high),
                               _mm256_shuffle_epi8(both_lanes(t.low[k]), low));
  }
  const __m256i glyph = byte_masks(a.glyph, b.glyph), copy = byte_masks(a.copy, b.copy);
  const __m256i dot = _mm256_set1_epi8('.');
  plane[0] =
      _mm256_or_si256(_mm256_and_si256(copy, v),
                      _mm256_andnot_si256(copy, _mm256_or_si256(_mm256_and_si256(glyph, plane[0]),
                                                                _mm256_andnot_si256(glyph, dot))));
  plane[1] = _mm256_and_si256(glyph, plane[1]);
  plane[2] = _mm256_and_si256(glyph, plane[2]);
  const __m256i special = byte_masks(a.specials, b.specials);
  const __m256i first =
      _mm256_setr_epi32(a.blank_first ? 0xFF : 0, 0, 0, 0, b.blank_first ? 0xFF : 0, 0, 0, 0);
  const __m256i dots0 = _mm256_or_si256(_mm256_andnot_si256(first, dot),
                                        _mm256_and_si256(first, _mm256_set1_epi8(' ')));
  const __m256i dots1 = _mm256_andnot_si256(
      _mm256_or_si256(first, _mm256_setr_epi32(0, 0, 0, -0x1000000, 0, 0, 0, -0x1000000)), dot);
  plane[0] =
      _mm256_or_si256(_mm256_andnot_si256(special, plane[0]), _mm256_and_si256(special, dots0));
  plane[1] =
      _mm256_or_si256(_mm256_andnot_si256(special, plane[1]), _mm256_and_si256(special, dots1));
  const __m256i pairs = byte_masks(a.pairs, b.pairs);
  const __m256i cleared = _mm256_or_si256(byte_masks(a.empty, b.empty), pairs);
  plane[2] = _mm256_andnot_si256(_mm256_or_si256(cleared, special), plane[2]);
  plane[0] = _mm256_andnot_si256(cleared, plane[0]);
  plane[1] = _mm256_andnot_si256(cleared, plane[1]);

  __m256i pair_slots[4] = {zero, zero, zero, zero};
  uint32_t unspelt = 0;
  if ((a.pairs | b.pairs) != 0) {
    // The byte after each position: the next row's first after the first row.
    const __m256i after =
        _mm256_setr_epi32(static_cast<int>(a.next15), 0, 0, 0, static_cast<int>(b.next15), 0, 0, 0);
    const __m256i next = _mm256_alignr_epi8(after, v, 1);
    const __m256i pairs16[2] = {_mm256_unpacklo_epi8(pairs, pairs),
                                _mm256_unpackhi_epi8(pairs, pairs)};
    const uint32_t* table = g_column_words.words + console::pair_word_index(0, 0);
    // Each window of positions 2i and 2i + 1 holds at most one pair (see load_pairs): its
    // lead << 8 | trail in the low half of the window's 32 bits, 0 where it has none.
    alignas(32) uint16_t window[2][16];
    __m256i index[2];
    for (int h = 0; h < 2; ++h) {
      const __m256i pair16 = h == 0 ? _mm256_unpacklo_epi8(next, v) : _mm256_unpackhi_epi8(next, v);
      const __m256i i16 = _mm256_and_si256(pair16, pairs16[h]);
      index[h] = _mm256_or_si256(i16, _mm256_srli_epi32(i16, 16));
      if constexpr (Loads == PairLoads::kPlain) {
        _mm256_store_si256(reinterpret_cast<__m256i*>(window[h]), index[h]);
      }
    }
    __m256i fetched[2];
    for (int h = 0; h < 2; ++h) {
      if constexpr (Loads == PairLoads::kGather) {
        // Only the windows that hold a pair are fetched (no lead byte is 0).
        const __m256i at = _mm256_and_si256(index[h], _mm256_set1_epi32(0xFFFF));
        fetched[h] = _mm256_mask_i32gather_epi32(zero, reinterpret_cast<const int*>(table), at,
                                                 _mm256_cmpgt_epi32(at, zero), 4);
      } else {
        int w[8];
        for (int i = 0; i < 8; ++i) w[i] = static_cast<int>(table[window[h][2 * i]]);
        fetched[h] = _mm256_setr_epi32(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7]);
      }
    }
    __m256i zeros = zero;
    for (int h = 0; h < 2; ++h) {
      const __m256i words = fetched[h];
      const __m256i none =
          _mm256_cmpeq_epi32(_mm256_and_si256(index[h], _mm256_set1_epi32(0xFFFF)), zero);
      zeros = _mm256_or_si256(zeros, _mm256_andnot_si256(none, _mm256_cmpeq_epi32(words, zero)));
      // Each window's word in both its slots, kept in the one where the pair starts.
      pair_slots[2 * h] = _mm256_and_si256(_mm256_unpacklo_epi32(words, words),
                                           _mm256_unpacklo_epi16(pairs16[h], pairs16[h]));
      pair_slots[2 * h + 1] = _mm256_and_si256(_mm256_unpackhi_epi32(words, words),
                                               _mm256_unpackhi_epi16(pairs16[h], pairs16[h]));
    }
    unspelt = static_cast<uint32_t>(_mm256_movemask_epi8(zeros));
  }
  two.spelt[0] = (unspelt & 0xFFFF) == 0;
  two.spelt[1] = (unspelt >> 16) == 0;

  const __m256i b01[2] = {_mm256_unpacklo_epi8(plane[0], plane[1]),
                          _mm256_unpackhi_epi8(plane[0], plane[1])};
  const __m256i b2[2] = {_mm256_unpacklo_epi8(plane[2], zero),
                         _mm256_unpackhi_epi8(plane[2], zero)};
  const __m256i weights =
      _mm256_setr_epi8(1, 1, 1, 1, 5, 5, 5, 5, 25, 25, 25, 25, 125, 125, 125, 125, 1, 1, 1, 1, 5, 5,
                       5, 5, 25, 25, 25, 25, 125, 125, 125, 125);
  alignas(32) uint64_t sums[4][4];
  __m256i slots[4];
  for (int k = 0; k < 4; ++k) {
    slots[k] = _mm256_or_si256(k % 2 == 0 ? _mm256_unpacklo_epi16(b01[k / 2], b2[k / 2])
                                          : _mm256_unpackhi_epi16(b01[k / 2], b2[k / 2]),
                               pair_slots[k]);
    const __m256i filled = _mm256_andnot_si256(_mm256_cmpeq_epi8(slots[k], zero), weights);
    _mm256_store_si256(reinterpret_cast<__m256i*>(sums[k]), _mm256_sad_epu8(filled, zero));
  }
  for (int k = 0; k < 4; ++k) {
    const uint64_t ea = sums[k][0] + sums[k][1], eb = sums[k][2] + sums[k][3];
    two.length[0][k] = kSqueezes.length[ea];
    two.length[1][k] = kSqueezes.length[eb];
    two.squeezed[k] = _mm256_shuffle_epi8(
        slots[k], _mm256_setr_m128i(load16(kSqueezes.take[ea]), load16(kSqueezes.take[eb])));
  }
}

// Stores row which (0 or 1) of two at col; returns the column's end.
TOVIX_COLUMN_AVX2 inline char* put_prepared_column(char* col, const TwoColumns& two, int which) {
  for (int k = 0; k < 4; ++k) {
    const __m128i s = which == 0 ? _mm256_castsi256_si128(two.squeezed[k])
                                 : _mm256_extracti128_si256(two.squeezed[k], 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(col), s);
    col += two.length[which][k];
  }
  return col;
}

// Two lines' offsets and hex columns, each line in one lane.
struct TwoLines {
  __m256i head;    // the offset's digits and blanks (16 bytes from the line start)
  __m256i hex[3];  // the hex column, 16 bytes at a time from its start
};
using FormatTwoRowsFn = void (*)(TwoLines& lines, uint32_t address, const uint8_t* rows);

TOVIX_COLUMN_AVX2 inline __m128i lane(__m256i v, int which) {
  return which == 0 ? _mm256_castsi256_si128(v) : _mm256_extracti128_si256(v, 1);
}

// Stores line which (0 or 1) of lines at out, as FormatRowFn does but for the plain
// column.
TOVIX_COLUMN_AVX2 inline void put_formatted(char* out, const TwoLines& lines, int which) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), lane(lines.head, which));
  for (int k = 0; k < 3; ++k) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 10 + 16 * k), lane(lines.hex[k], which));
  }
  out[58] = ' ';
  out[59] = ' ';
}

// The plain character columns of two rows, each in one lane: the bytes where copy is
// set, dots elsewhere.
TOVIX_COLUMN_AVX2 inline __m256i plain_columns(const uint8_t* rows, const RowScan& first,
                                               const RowScan& second) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows));
  const __m256i copy = byte_masks(first.copy, second.copy);
  return _mm256_or_si256(_mm256_and_si256(copy, v),
                         _mm256_andnot_si256(copy, _mm256_set1_epi8('.')));
}

// Writes line which (0 or 1) of the two at out, its character column as planned: shuffled
// when both rows are converted and its pairs are spelt, glyph by glyph when they are
// not, else by the row's own plan. Returns the end, line end included.
template <SelectRowFn Select, WordRowFn Words>
TOVIX_COLUMN_AVX2 inline char* put_line_of_two(char* out, const TwoLines& lines, __m256i plain,
                                               int which, const uint8_t* row, const RowScan& scan,
                                               const CharRowPlan& plan, bool both,
                                               const TwoColumns& two, RowLineFlags flags) {
  put_formatted(out, lines, which);
  if (!flags.japanese) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kCharColumnIndex), lane(plain, which));
  }
  if (flags.hyphen) out[kHyphenIndex] = '-';
  char* col = out + kCharColumnIndex;
  if (!both) {
    out = put_planned_row<Select, Words>(col, row, scan, plan);
  } else if (two.spelt[which]) {
    out = put_prepared_column(col, two, which);
  } else {
    out = put_glyph_row(col, row, scan, plan.held, plan.blank_first, plan.look_ahead);
  }
  *out++ = '\n';
  return out;
}

// Classifies two rows at once (rows and rows + 16).
using ScanTwoRowsFn = void (*)(const uint8_t* rows, RowScan* first, RowScan* second);

// put_row_lines two rows at a time: both classified at once, and both converted columns
// worked out at once where both rows are converted.
template <ScanRowFn Scan, ScanTwoRowsFn ScanTwo, FormatRowFn Format, FormatTwoRowsFn FormatTwo,
          SelectRowFn Select, WordRowFn Words, PairLoads Loads>
TOVIX_COLUMN_AVX2 inline char* put_row_line_pairs(char* out, const char* limit, uint32_t address,
                                                  const uint8_t* rows, size_t count,
                                                  int32_t last_look_ahead, RowLineFlags flags,
                                                  size_t* done) {
  bool trail_shown = g_char_column.trail_shown;
  const bool shuffled = g_column_words.usable && g_planes.usable;
  size_t i = 0;
  while (i + 1 < count && out < limit) {
    RowScan scan, scan_b;
    ScanTwo(rows, &scan, &scan_b);
    const CharRowPlan plan = plan_char_row(scan, flags, rows[16], scan_b.trail & 1, trail_shown);
    const int32_t look_b = i + 2 == count ? last_look_ahead : rows[32];
    bool shown_b = trail_shown;
    const CharRowPlan plan_b = plan_char_row(scan_b, flags, look_b, trail_flag(look_b), shown_b);
    const bool both = shuffled && plan.converted && plan_b.converted;
    TwoColumns two;
    if (both) {
      prepare_two_columns<Loads>(rows, word_row(scan, plan), word_row(scan_b, plan_b), two);
    }
    TwoLines lines;
    FormatTwo(lines, address, rows);
    // Under Japanese display every column is written whole below.
    const __m256i plain =
        flags.japanese ? _mm256_setzero_si256() : plain_columns(rows, scan, scan_b);
    out = put_line_of_two<Select, Words>(out, lines, plain, 0, rows, scan, plan, both, two, flags);
    ++i;
    rows += 16;
    address += 16;
    // The next row waits for the next call, which classifies it again.
    if (out >= limit) break;
    // A pair the first row spelt may have been fetched before: the row then goes glyph
    // by glyph, as its word was 0.
    out = put_line_of_two<Select, Words>(out, lines, plain, 1, rows, scan_b, plan_b, both, two,
                                         flags);
    trail_shown = shown_b;
    ++i;
    rows += 16;
    address += 16;
  }
  if (i + 1 == count && out < limit) {
    RowScan scan;
    Scan(rows, &scan);
    const CharRowPlan plan =
        plan_char_row(scan, flags, last_look_ahead, trail_flag(last_look_ahead), trail_shown);
    Format(out, address, rows, scan);
    if (flags.hyphen) out[kHyphenIndex] = '-';
    out = put_planned_row<Select, Words>(out + kCharColumnIndex, rows, scan, plan);
    *out++ = '\n';
    ++i;
  }
  const uint8_t flag = trail_shown ? 1 : 0;
  std::memcpy(&g_char_column.trail_shown, &flag, 1);
  *done = i;
  return out;
}

}  // namespace shuffle_column
}  // namespace dump
