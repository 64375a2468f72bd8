// Row kernels for x86-64. SSE2 is part of every x86-64 processor; the SSSE3, AVX2 and
// AVX-512 (VBMI) kernels are compiled for their instruction sets function by function and
// offered only when the processor reports them, so the program runs on any x86-64. The
// SSE2, SSSE3 and AVX2 kernels test byte classes as a few ranges; the AVX-512 one looks
// every byte up in a 256-entry table. From SSSE3 on, a converted column spells its
// single bytes with shuffles (hex_simd_x86_column.h); AVX2 adds three-operand forms and
// a gather for the pairs (16-byte rows leave its wider registers little else to do).
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "dump/char_row.h"
#include "dump/hex_simd.h"
#include "dump/hex_simd_x86_column.h"

#define TOVIX_TARGET_SSSE3 __attribute__((target("ssse3")))
#define TOVIX_TARGET_AVX2 __attribute__((target("avx2")))
// What the AVX2 line writers take, and every AVX-512 kernel with them (runs_avx2_lines).
#define TOVIX_AVX2_LINE_BASE "avx2,bmi,bmi2,popcnt"
// The AVX-512 kernels take BMI too, which every processor with AVX-512 has: without ANDN
// in general registers GCC does the line's bit arithmetic (the held lead bytes, the
// carry from line to line) with mask-register instructions, and every move between the
// two kinds of register lengthens the chain from line to line (4 to 16% slower on an AMD
// EPYC of Zen 5).
#define TOVIX_AVX512_BASE TOVIX_AVX2_LINE_BASE ",avx512f,avx512bw,avx512vl,avx512vbmi"
#define TOVIX_TARGET_AVX512 __attribute__((target(TOVIX_AVX512_BASE), flatten))
#define TOVIX_TARGET_VBMI2 __attribute__((target(TOVIX_AVX512_BASE ",avx512vbmi2"), flatten))
// Whole-line writers inline the target-specific pieces through the generic templates.
#define TOVIX_LINE_SSSE3 __attribute__((target("ssse3"), flatten))
#define TOVIX_LINE_AVX2 __attribute__((target(TOVIX_AVX2_LINE_BASE), flatten))

namespace dump {
namespace {

// The class ranges as vectors: byte x is in range k when x + shift[k], as a signed byte,
// is not above last[k] (the range moved to start at -128, so that one signed compare
// tests both ends).
struct ClassVectors {
  __m128i shift[ScanRanges::kMaxRanges];
  __m128i last[ScanRanges::kMaxRanges];
  int count = 0;
};
struct X86Kernels {
  ClassVectors lead, trail, copy, glyph;
  alignas(64) uint8_t table[256];  // the class flags of ScanRanges::table
  // The plain words of the bytes glyph_first to glyph_first + 63, when every byte spelt
  // otherwise lies among them (glyph_window); the VBMI2 column looks them up in registers.
  alignas(64) uint32_t glyph_words[64];
  uint32_t glyph_first = 0;
  bool glyph_window = false;
  // The words of the fixed spellings at each position, without and with a blank first
  // (kSpecialWords looked up in the column words).
  alignas(64) uint32_t special_words[2][16];
  // The AVX2 kernel's lines, two at a time, when its byte ranges serve: the AVX-512
  // kernels hand it their unconverted columns, which it writes faster than they do a
  // row at a time.
  PutRowLinesFn unconverted_lines = nullptr;
};
X86Kernels g_x86;

void load_class(const ScanRanges::Class& from, ClassVectors& to) {
  to.count = from.count;
  for (int k = 0; k < from.count; ++k) {
    to.shift[k] = _mm_set1_epi8(static_cast<char>(0x80 - from.ranges[k].first));
    to.last[k] = _mm_set1_epi8(static_cast<char>(from.ranges[k].width - 128));
  }
}

// The bytes of v outside class c, as byte masks: those above the end of every range.
inline __m128i outside_class(__m128i v, const ClassVectors& c) {
  __m128i m = _mm_set1_epi8(-1);
  for (int k = 0; k < c.count; ++k) {
    m = _mm_and_si128(m, _mm_cmpgt_epi8(_mm_add_epi8(v, c.shift[k]), c.last[k]));
  }
  return m;
}

inline __m128i load(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

inline uint32_t bits(__m128i m) {
  return static_cast<uint32_t>(_mm_movemask_epi8(m));
}

TOVIX_TARGET_AVX2 inline __m256i outside_class_avx2(__m256i v, const ClassVectors& c) {
  __m256i m = _mm256_set1_epi8(-1);
  for (int k = 0; k < c.count; ++k) {
    m = _mm256_and_si256(
        m, _mm256_cmpgt_epi8(_mm256_add_epi8(v, _mm256_broadcastsi128_si256(c.shift[k])),
                             _mm256_broadcastsi128_si256(c.last[k])));
  }
  return m;
}

// Two rows' classes at once, each row in one 128-bit lane.
TOVIX_TARGET_AVX2 void scan_two_rows_avx2(const uint8_t* rows, RowScan* first, RowScan* second) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows));
  const ClassVectors* classes[4] = {&g_x86.lead, &g_x86.trail, &g_x86.copy, &g_x86.glyph};
  uint32_t RowScan::*fields[4] = {&RowScan::lead, &RowScan::trail, &RowScan::copy, &RowScan::glyph};
  for (int c = 0; c < 4; ++c) {
    const auto bits =
        ~static_cast<uint32_t>(_mm256_movemask_epi8(outside_class_avx2(v, *classes[c])));
    first->*fields[c] = bits & 0xFFFF;
    second->*fields[c] = bits >> 16;
  }
}

void scan_row_sse2(const uint8_t* bytes, RowScan* scan) {
  const __m128i v = load(bytes);
  const auto in_class = [v](const ClassVectors& c) { return bits(outside_class(v, c)) ^ 0xFFFF; };
  scan->lead = in_class(g_x86.lead);
  scan->trail = in_class(g_x86.trail);
  scan->glyph = g_x86.glyph.count == 0 ? 0 : in_class(g_x86.glyph);
  scan->copy = in_class(g_x86.copy);
}

// Bit masks of 8 bits as 8 bytes 0x00 or 0xFF.
constexpr auto kByteMasks = [] {
  struct Table {
    uint64_t m[256];
  } t{};
  for (int b = 0; b < 256; ++b) {
    for (int i = 0; i < 8; ++i) {
      if ((b >> i) & 1) t.m[b] |= uint64_t{0xFF} << (8 * i);
    }
  }
  return t;
}();

inline __m128i expand_mask(uint32_t m) {
  return _mm_set_epi64x(static_cast<long long>(kByteMasks.m[(m >> 8) & 0xFF]),
                        static_cast<long long>(kByteMasks.m[m & 0xFF]));
}

// The plain character column: the bytes where copy is set, dots elsewhere.
inline void store_plain(char* col, __m128i v, __m128i copy) {
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(col),
      _mm_or_si128(_mm_and_si128(copy, v), _mm_andnot_si128(copy, _mm_set1_epi8('.'))));
}

// Where each of the 48 hex-column characters comes from: digit t of the 32 digits of a
// row (two per byte, high first), or a blank (-1). Chunk k covers characters 16k-16k+15.
struct HexShuffles {
  int8_t from_low[3][16];   // digits 0-15 (bytes 0-7), else -128 (zero)
  int8_t from_high[3][16];  // digits 16-31 (bytes 8-15) less 16, else -128
  char blanks[3][16];       // ' ' at the separators, 0 elsewhere
};
constexpr HexShuffles kHexShuffles = [] {
  HexShuffles s{};
  for (int k = 0; k < 3; ++k) {
    for (int q = 0; q < 16; ++q) {
      const int c = 16 * k + q, byte = c / 3, r = c % 3;
      s.from_low[k][q] = s.from_high[k][q] = -128;
      s.blanks[k][q] = 0;
      if (r == 2) {
        s.blanks[k][q] = ' ';
        continue;
      }
      const int t = 2 * byte + r;
      if (t < 16) {
        s.from_low[k][q] = static_cast<int8_t>(t);
      } else {
        s.from_high[k][q] = static_cast<int8_t>(t - 16);
      }
    }
  }
  return s;
}();

// Hex digits of the nibbles in n (each 0-15): '0' + n, and 7 more past 9.
inline __m128i hex_digits_sse2(__m128i n) {
  return _mm_add_epi8(_mm_add_epi8(n, _mm_set1_epi8('0')),
                      _mm_and_si128(_mm_cmpgt_epi8(n, _mm_set1_epi8(9)), _mm_set1_epi8(7)));
}

// SSE2 alone has no byte shuffle: the digits are worked out in vectors and laid out as
// "HL HL " for each two bytes by shifts within 64-bit lanes, then stored eight bytes at
// a time, each store's last two overwritten by the next, so that the stores rather than
// the arithmetic units carry the layout.
inline void put_hex_sse2(char* out, uint32_t address, __m128i v) {
  const __m128i nibble = _mm_set1_epi8(15);
  const __m128i a = _mm_cvtsi32_si128(static_cast<int>(__builtin_bswap32(address)));
  const __m128i a_digits =
      _mm_unpacklo_epi8(hex_digits_sse2(_mm_and_si128(_mm_srli_epi16(a, 4), nibble)),
                        hex_digits_sse2(_mm_and_si128(a, nibble)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_unpacklo_epi64(a_digits, _mm_set1_epi8(' ')));
  const __m128i high = hex_digits_sse2(_mm_and_si128(_mm_srli_epi16(v, 4), nibble));
  const __m128i low = hex_digits_sse2(_mm_and_si128(v, nibble));
  const __m128i pairs[2] = {_mm_unpacklo_epi8(high, low), _mm_unpackhi_epi8(high, low)};
  const __m128i zero = _mm_setzero_si128();
  const __m128i first = _mm_set1_epi64x(0xFFFF);
  const __m128i blanks = _mm_set1_epi64x(0x0000200000200000);
  for (int k = 0; k < 4; ++k) {
    const __m128i p = pairs[k / 2];
    // Two bytes' digits in each 64-bit lane, the second's moved one place up.
    const __m128i q = k % 2 == 0 ? _mm_unpacklo_epi32(p, zero) : _mm_unpackhi_epi32(p, zero);
    const __m128i lane = _mm_or_si128(
        _mm_or_si128(_mm_and_si128(q, first), _mm_slli_epi64(_mm_srli_epi64(q, 16), 24)), blanks);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 10 + 12 * k), lane);
    _mm_storeh_pd(reinterpret_cast<double*>(out + 16 + 12 * k), _mm_castsi128_pd(lane));
  }
  out[58] = ' ';
  out[59] = ' ';
}

void format_row_sse2(char* out, uint32_t address, const uint8_t* bytes, const RowScan& scan) {
  const __m128i v = load(bytes);
  put_hex_sse2(out, address, v);
  store_plain(out + kCharColumnIndex, v, expand_mask(scan.copy));
}

// format_row_sse2 without the plain column, for Japanese display, whose column writer
// writes all of it.
void format_hex_sse2(char* out, uint32_t address, const uint8_t* bytes, const RowScan&) {
  put_hex_sse2(out, address, load(bytes));
}

// The filler of a column: dots, with a blank in position 0 when it stands for a byte
// shown at the last line's end.
struct Fillers {
  alignas(16) char text[2][16];
};
constexpr Fillers kFillers = [] {
  Fillers f{};
  for (int k = 0; k < 2; ++k) {
    for (int i = 0; i < 16; ++i) f.text[k][i] = '.';
  }
  f.text[1][0] = ' ';
  return f;
}();

inline __m128i filler(bool blank_first) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kFillers.text[blank_first ? 1 : 0]));
}

void select_row_sse2(char* col, const uint8_t* row, uint32_t shown, bool blank_first) {
  const __m128i m = expand_mask(shown);
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(col),
      _mm_or_si128(_mm_and_si128(m, load(row)), _mm_andnot_si128(m, filler(blank_first))));
}

TOVIX_TARGET_SSSE3 inline __m128i hex_high(__m128i v) {
  const __m128i digits =
      _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
  return _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(v, 4), _mm_set1_epi8(15)));
}

TOVIX_TARGET_SSSE3 inline __m128i hex_low(__m128i v) {
  const __m128i digits =
      _mm_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
  return _mm_shuffle_epi8(digits, _mm_and_si128(v, _mm_set1_epi8(15)));
}

TOVIX_TARGET_SSSE3 inline void put_hex_ssse3(char* out, uint32_t address, __m128i v) {
  // The offset: its four bytes high first, eight digits, then blanks up to the hex column.
  const __m128i a = _mm_cvtsi32_si128(static_cast<int>(__builtin_bswap32(address)));
  const __m128i a_digits = _mm_unpacklo_epi8(hex_high(a), hex_low(a));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_unpacklo_epi64(a_digits, _mm_set1_epi8(' ')));

  const __m128i hi = hex_high(v), lo = hex_low(v);
  const __m128i d0 = _mm_unpacklo_epi8(hi, lo), d1 = _mm_unpackhi_epi8(hi, lo);
  const HexShuffles& s = kHexShuffles;
  const __m128i c0 = _mm_or_si128(_mm_shuffle_epi8(d0, load(s.from_low[0])), load(s.blanks[0]));
  const __m128i c1 = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(d0, load(s.from_low[1])),
                                               _mm_shuffle_epi8(d1, load(s.from_high[1]))),
                                  load(s.blanks[1]));
  const __m128i c2 = _mm_or_si128(_mm_shuffle_epi8(d1, load(s.from_high[2])), load(s.blanks[2]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 10), c0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 26), c1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 42), c2);
  out[58] = ' ';
  out[59] = ' ';
}

TOVIX_TARGET_SSSE3 void format_row_ssse3(char* out, uint32_t address, const uint8_t* bytes,
                                         const RowScan& scan) {
  const __m128i v = load(bytes);
  put_hex_ssse3(out, address, v);
  store_plain(out + kCharColumnIndex, v, shuffle_column::byte_mask(scan.copy));
}

// format_row_ssse3 without the plain column (see format_hex_sse2).
TOVIX_TARGET_SSSE3 void format_hex_ssse3(char* out, uint32_t address, const uint8_t* bytes,
                                         const RowScan&) {
  put_hex_ssse3(out, address, load(bytes));
}

TOVIX_TARGET_AVX2 inline __m256i hex_digits_avx2(__m256i nibbles) {
  return _mm256_shuffle_epi8(shuffle_column::both_lanes("0123456789ABCDEF"), nibbles);
}

TOVIX_TARGET_AVX2 inline __m256i hex_high_avx2(__m256i v) {
  return hex_digits_avx2(_mm256_and_si256(_mm256_srli_epi16(v, 4), _mm256_set1_epi8(15)));
}

TOVIX_TARGET_AVX2 inline __m256i hex_low_avx2(__m256i v) {
  return hex_digits_avx2(_mm256_and_si256(v, _mm256_set1_epi8(15)));
}

// The offsets and hex columns of format_row_ssse3 for two rows at once (rows and rows + 16,
// at address).
TOVIX_TARGET_AVX2 void format_two_rows_avx2(shuffle_column::TwoLines& lines, uint32_t address,
                                            const uint8_t* rows) {
  using shuffle_column::both_lanes;
  const __m256i a = _mm256_setr_epi32(static_cast<int>(__builtin_bswap32(address)), 0, 0, 0,
                                      static_cast<int>(__builtin_bswap32(address + 16)), 0, 0, 0);
  lines.head = _mm256_unpacklo_epi64(_mm256_unpacklo_epi8(hex_high_avx2(a), hex_low_avx2(a)),
                                     _mm256_set1_epi8(' '));
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows));
  const __m256i hi = hex_high_avx2(v), lo = hex_low_avx2(v);
  const __m256i d0 = _mm256_unpacklo_epi8(hi, lo), d1 = _mm256_unpackhi_epi8(hi, lo);
  const HexShuffles& s = kHexShuffles;
  lines.hex[0] =
      _mm256_or_si256(_mm256_shuffle_epi8(d0, both_lanes(s.from_low[0])), both_lanes(s.blanks[0]));
  lines.hex[1] =
      _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(d0, both_lanes(s.from_low[1])),
                                      _mm256_shuffle_epi8(d1, both_lanes(s.from_high[1]))),
                      both_lanes(s.blanks[1]));
  lines.hex[2] =
      _mm256_or_si256(_mm256_shuffle_epi8(d1, both_lanes(s.from_high[2])), both_lanes(s.blanks[2]));
}

TOVIX_TARGET_SSSE3 void select_row_ssse3(char* col, const uint8_t* row, uint32_t shown,
                                         bool blank_first) {
  const __m128i m = shuffle_column::byte_mask(shown);
  _mm_storeu_si128(
      reinterpret_cast<__m128i*>(col),
      _mm_or_si128(_mm_and_si128(m, load(row)), _mm_andnot_si128(m, filler(blank_first))));
}

// 32-bit lane masks of 4 bits: lane i all ones where bit i is set.
struct LaneMasks {
  alignas(16) uint32_t m[16][4];
};
constexpr LaneMasks kLaneMasks = [] {
  LaneMasks t{};
  for (int n = 0; n < 16; ++n) {
    for (int i = 0; i < 4; ++i) t.m[n][i] = (n >> i) & 1 ? ~0u : 0;
  }
  return t;
}();

// Lanes 4k to 4k + 3 of bits as lane masks.
inline __m128i lane_mask(uint32_t bits, int k) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kLaneMasks.m[(bits >> (4 * k)) & 15]));
}

// b where m is set, a elsewhere.
inline __m128i select(__m128i a, __m128i b, __m128i m) {
  return _mm_or_si128(_mm_andnot_si128(m, a), _mm_and_si128(m, b));
}

// 16-bit lane masks of 8 bits: lane i all ones where bit i is set.
struct HalfMasks {
  alignas(16) uint16_t m[256][8];
};
constexpr HalfMasks kHalfMasks = [] {
  HalfMasks t{};
  for (int n = 0; n < 256; ++n) {
    for (int i = 0; i < 8; ++i) t.m[n][i] = (n >> i) & 1 ? 0xFFFF : 0;
  }
  return t;
}();

// The low 8 bits of bits as 16-bit lane masks.
inline __m128i half_masks(uint32_t bits) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kHalfMasks.m[bits & 0xFF]));
}

// The short indexes of the fixed spellings at each position, without and with a blank
// first (see kSpecialWords).
struct ShortSpecials {
  alignas(16) uint16_t index[2][16];
};
constexpr ShortSpecials kShortSpecialIndexes = [] {
  ShortSpecials s{};
  for (int k = 0; k < 2; ++k) {
    for (int j = 0; j < 16; ++j) {
      s.index[k][j] =
          static_cast<uint16_t>(kShortSpecials + kSpecialWords.index[k][j] - kTwoDotsWord);
    }
  }
  return s;
}();

char* put_word_row_wide(char* col, const uint8_t* row, const WordRow& r);

// The converted column with SSE2: the sixteen word indexes eight at a time in vectors,
// then the words written one by one.
char* put_word_row_sse2(char* col, const uint8_t* row, const WordRow& r) {
  if (!g_column_words.short_indexes) return put_word_row_wide(col, row, r);
  const __m128i v = load(row);
  const __m128i next = _mm_or_si128(
      _mm_srli_si128(v, 1), _mm_slli_si128(_mm_cvtsi32_si128(static_cast<int>(r.next15)), 15));
  const uint16_t* special = kShortSpecialIndexes.index[r.blank_first ? 1 : 0];
  alignas(16) uint16_t index[16];
  for (int h = 0; h < 2; ++h) {
    const auto spread = [h](uint32_t m) { return half_masks(m >> (8 * h)); };
    // Byte b as kShortBytes + b; the pair of byte j and the next as lead << 8 | trail,
    // counted from kShortBase.
    const __m128i bytes = _mm_set1_epi8(static_cast<char>(kShortBytes >> 8));
    __m128i i = h == 0 ? _mm_unpacklo_epi8(v, bytes) : _mm_unpackhi_epi8(v, bytes);
    const __m128i pair = _mm_sub_epi16(
        h == 0 ? _mm_unpacklo_epi8(next, v) : _mm_unpackhi_epi8(next, v),
        _mm_set1_epi16(static_cast<int16_t>(kShortBase - console::pair_word_index(0, 0))));
    i = select(i, pair, spread(r.pairs));
    i = select(i, load(special + 8 * h), spread(r.specials));
    i = select(i,
               _mm_set1_epi16(static_cast<int16_t>(kShortSpecials + kNothingWord - kTwoDotsWord)),
               spread(r.empty));
    _mm_store_si128(reinterpret_cast<__m128i*>(index + 8 * h), i);
  }
  return put_short_indexed_words(col, index);
}

// The same with 32-bit indexes, where a lead byte below 0x81 leaves no rows free.
char* put_word_row_wide(char* col, const uint8_t* row, const WordRow& r) {
  const __m128i v = load(row);
  const __m128i zero = _mm_setzero_si128();
  const __m128i next = _mm_or_si128(
      _mm_srli_si128(v, 1), _mm_slli_si128(_mm_cvtsi32_si128(static_cast<int>(r.next15)), 15));
  // The pair of byte j and the next as the 16-bit number next | byte << 8.
  const __m128i pair16[2] = {_mm_unpacklo_epi8(next, v), _mm_unpackhi_epi8(next, v)};
  const __m128i byte16[2] = {_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)};
  const __m128i base = _mm_set1_epi32(static_cast<int>(console::pair_word_index(0, 0)));
  const __m128i nothing = _mm_set1_epi32(static_cast<int>(kNothingWord));
  const uint32_t* special = kSpecialWords.index[r.blank_first ? 1 : 0];
  alignas(16) uint32_t index[16];
  for (int k = 0; k < 4; ++k) {
    const __m128i p16 = pair16[k / 2], b16 = byte16[k / 2];
    const __m128i pair = _mm_add_epi32(
        k % 2 == 0 ? _mm_unpacklo_epi16(p16, zero) : _mm_unpackhi_epi16(p16, zero), base);
    __m128i i = k % 2 == 0 ? _mm_unpacklo_epi16(b16, zero) : _mm_unpackhi_epi16(b16, zero);
    i = select(i, pair, lane_mask(r.pairs, k));
    i = select(i, load(special + 4 * k), lane_mask(r.specials, k));
    i = select(i, nothing, lane_mask(r.empty, k));
    _mm_store_si128(reinterpret_cast<__m128i*>(index + 4 * k), i);
  }
  return put_indexed_words(col, index);
}

// put_row_lines with the kernel's whole row (FormatRow), or under Japanese display, whose
// column writer writes all of the column, its row without the plain column (FormatHex).
template <ScanRowFn Scan, FormatRowFn FormatRow, FormatRowFn FormatHex, SelectRowFn Select,
          WordRowFn Words>
inline char* put_row_lines_for_display(char* out, const char* limit, uint32_t address,
                                       const uint8_t* rows, size_t count, int32_t last_look_ahead,
                                       RowLineFlags flags, size_t* done) {
  if (flags.japanese) {
    return put_row_lines<Scan, FormatHex, Select, Words>(out, limit, address, rows, count,
                                                         last_look_ahead, flags, done);
  }
  return put_row_lines<Scan, FormatRow, Select, Words>(out, limit, address, rows, count,
                                                       last_look_ahead, flags, done);
}

// Whole lines: the row kernel, the Japanese mending and the select compiled together.
__attribute__((flatten)) char* put_row_lines_sse2(char* out, const char* limit, uint32_t address,
                                                  const uint8_t* rows, size_t count,
                                                  int32_t last_look_ahead, RowLineFlags flags,
                                                  size_t* done) {
  return put_row_lines_for_display<scan_row_sse2, format_row_sse2, format_hex_sse2, select_row_sse2,
                                   put_word_row_sse2>(out, limit, address, rows, count,
                                                      last_look_ahead, flags, done);
}

// With SSSE3 the converted column goes word by word too: a row at a time, the shuffled
// column (put_row_line_pairs does two at once) costs the vector units more than storing
// each word whole costs the load and store units. (The 16-bit indexes measured slower
// here than the 32-bit ones, unlike with SSE2 alone.)
TOVIX_LINE_SSSE3 char* put_row_lines_ssse3(char* out, const char* limit, uint32_t address,
                                           const uint8_t* rows, size_t count,
                                           int32_t last_look_ahead, RowLineFlags flags,
                                           size_t* done) {
  return put_row_lines_for_display<scan_row_sse2, format_row_ssse3, format_hex_ssse3,
                                   select_row_ssse3, put_word_row_wide>(
      out, limit, address, rows, count, last_look_ahead, flags, done);
}

// AVX2: the SSSE3 pieces in three-operand form, two lines at a time, and two ways of
// fetching the pairs' words, in the two-line loop and in a row the loop writes alone
// alike. Plain loads, one per window of two positions, are the default: the gathers were
// 3 to 8% faster a row at a time on an Intel Xeon (Sapphire Rapids), no faster in this
// loop on an AMD EPYC (Zen 3), and AMD processors before it microcode a gather into many
// more steps. The gathering kernel stays for measuring (TOVIX_KERNEL=avx2gather).
template <shuffle_column::PairLoads Loads>
TOVIX_LINE_AVX2 inline char* put_row_lines_avx2_fetching(char* out, const char* limit,
                                                         uint32_t address, const uint8_t* rows,
                                                         size_t count, int32_t last_look_ahead,
                                                         RowLineFlags flags, size_t* done) {
  constexpr shuffle_column::PairFetch kFetch = Loads == shuffle_column::PairLoads::kGather
                                                   ? shuffle_column::gather_pairs
                                                   : shuffle_column::load_pairs;
  return shuffle_column::put_row_line_pairs<
      scan_row_sse2, scan_two_rows_avx2, format_row_ssse3, format_two_rows_avx2, select_row_ssse3,
      shuffle_column::put_word_row<kFetch, put_word_row_sse2>, Loads>(
      out, limit, address, rows, count, last_look_ahead, flags, done);
}

TOVIX_LINE_AVX2 char* put_row_lines_avx2(char* out, const char* limit, uint32_t address,
                                         const uint8_t* rows, size_t count, int32_t last_look_ahead,
                                         RowLineFlags flags, size_t* done) {
  return put_row_lines_avx2_fetching<shuffle_column::PairLoads::kPlain>(
      out, limit, address, rows, count, last_look_ahead, flags, done);
}

TOVIX_LINE_AVX2 char* put_row_lines_avx2_gather(char* out, const char* limit, uint32_t address,
                                                const uint8_t* rows, size_t count,
                                                int32_t last_look_ahead, RowLineFlags flags,
                                                size_t* done) {
  return put_row_lines_avx2_fetching<shuffle_column::PairLoads::kGather>(
      out, limit, address, rows, count, last_look_ahead, flags, done);
}

// AVX-512 with VBMI: the classes come from one 256-entry table lookup, and the offset
// and the hex column from one byte permutation of the digits; the converted column is
// the SSSE3 one. (GCC 12 flags the undefined vectors inside its own zero-extending and
// inserting intrinsics as uninitialised, so plain casts are used where the upper lanes
// are never read.)

// Where each of the first 64 bytes of a line comes from among the digits: entries 0-15
// are the digits of bytes 0-7, 16-23 the offset's, 64-79 the digits of bytes 8-15.
struct LinePermutation {
  int8_t from[64];
  char blanks[64];  // ' ' where no digit goes, 0 elsewhere
  uint64_t keep;    // bit set where a digit goes
};
constexpr LinePermutation kLinePermutation = [] {
  LinePermutation p{};
  for (int o = 0; o < 64; ++o) {
    int from = -1;
    if (o < 8) {
      from = 16 + o;
    } else if (o >= 10 && o < 58 && (o - 10) % 3 != 2) {
      const int t = 2 * ((o - 10) / 3) + (o - 10) % 3;  // digit t of the row's 32
      from = t < 16 ? t : 64 + (t - 16);
    }
    p.from[o] = static_cast<int8_t>(from < 0 ? 0 : from);
    p.blanks[o] = from < 0 ? ' ' : 0;
    if (from >= 0) p.keep |= uint64_t{1} << o;
  }
  return p;
}();

TOVIX_TARGET_AVX512 inline void put_hex_avx512(char* out, uint32_t address, __m128i v) {
  // Row bytes in the low lane, the offset's bytes (high first) in the high lane; the
  // digit table repeats, so index bit 4 (whatever the shift brought in) does not matter.
  const __m256i in =
      _mm256_inserti128_si256(_mm256_zextsi128_si256(v),
                              _mm_cvtsi32_si128(static_cast<int>(__builtin_bswap32(address))), 1);
  const __m256i digits = _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A',
                                          'B', 'C', 'D', 'E', 'F', '0', '1', '2', '3', '4', '5',
                                          '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
  const __m256i hi = _mm256_maskz_permutexvar_epi8(~0u, _mm256_srli_epi16(in, 4), digits);
  const __m256i lo = _mm256_maskz_permutexvar_epi8(~0u, in, digits);
  // The upper halves stay undefined: the permutation reads only entries 0-23 and 64-79.
  const __m512i low_half = _mm512_castsi256_si512(_mm256_unpacklo_epi8(hi, lo));
  const __m512i high_half = _mm512_castsi256_si512(_mm256_unpackhi_epi8(hi, lo));
  const __m512i line = _mm512_or_si512(
      _mm512_maskz_permutex2var_epi8(kLinePermutation.keep, low_half,
                                     _mm512_loadu_si512(kLinePermutation.from), high_half),
      _mm512_loadu_si512(kLinePermutation.blanks));
  _mm512_storeu_si512(out, line);
}

TOVIX_TARGET_AVX512 void format_row_avx512(char* out, uint32_t address, const uint8_t* bytes,
                                           const RowScan& scan) {
  const __m128i v = load(bytes);
  put_hex_avx512(out, address, v);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kCharColumnIndex),
                   _mm_mask_blend_epi8(static_cast<__mmask16>(scan.copy), _mm_set1_epi8('.'), v));
}

// format_row_avx512 without the plain column (see format_hex_sse2).
TOVIX_TARGET_AVX512 void format_hex_avx512(char* out, uint32_t address, const uint8_t* bytes,
                                           const RowScan&) {
  put_hex_avx512(out, address, load(bytes));
}

TOVIX_TARGET_AVX512 void scan_row_avx512(const uint8_t* bytes, RowScan* scan) {
  const __m128i v = load(bytes);
  // Classes: entries 0-127 and 128-255 looked up separately, chosen by bit 7; each class
  // bit moved to the top of its byte and gathered into a mask.
  const __m512i idx = _mm512_zextsi128_si512(v);
  const __m512i* t = reinterpret_cast<const __m512i*>(g_x86.table);
  const __m512i low = _mm512_permutex2var_epi8(_mm512_load_si512(t), idx, _mm512_load_si512(t + 1));
  const __m512i high =
      _mm512_permutex2var_epi8(_mm512_load_si512(t + 2), idx, _mm512_load_si512(t + 3));
  const __m512i cls512 = _mm512_mask_blend_epi8(_mm512_movepi8_mask(idx), low, high);
  // The low lane through memory (which the compiler turns into a register move): the
  // casting intrinsic trips GCC 12's uninitialised-value warning, and byte masks taken
  // in general registers keep the line's bit arithmetic out of mask registers.
  alignas(64) uint8_t lanes[64];
  _mm512_store_si512(lanes, cls512);
  const __m128i cls = _mm_load_si128(reinterpret_cast<const __m128i*>(lanes));
  scan->lead = bits(_mm_slli_epi16(cls, 7));
  scan->trail = bits(_mm_slli_epi16(cls, 6));
  scan->copy = bits(_mm_slli_epi16(cls, 5));
  scan->glyph = bits(_mm_slli_epi16(cls, 4));
}

TOVIX_TARGET_AVX512 char* put_row_lines_avx512(char* out, const char* limit, uint32_t address,
                                               const uint8_t* rows, size_t count,
                                               int32_t last_look_ahead, RowLineFlags flags,
                                               size_t* done) {
  if (flags.raw && g_x86.unconverted_lines != nullptr) {
    return g_x86.unconverted_lines(out, limit, address, rows, count, last_look_ahead, flags, done);
  }
  // The column's select stays with byte masks built by SSSE3: a mask register there
  // draws the line's bit arithmetic into mask registers too, which is slower.
  using Words =
      decltype(shuffle_column::put_word_row<shuffle_column::load_pairs, put_word_row_sse2>)*;
  constexpr Words kWords =
      shuffle_column::put_word_row<shuffle_column::load_pairs, put_word_row_sse2>;
  return put_row_lines_for_display<scan_row_avx512, format_row_avx512, format_hex_avx512,
                                   select_row_ssse3, kWords>(out, limit, address, rows, count,
                                                             last_look_ahead, flags, done);
}

// AVX-512 with VBMI2: the converted column in vectors. Each position's word goes into
// its own 4-byte lane (the plain spelling of its byte, the pair it starts, a fixed
// spelling, or nothing), and the 0 bytes after each spelling are squeezed out in one
// compress.
// Squeezes the 0 bytes out of the words and stores what is left at col; returns its end.
TOVIX_TARGET_VBMI2 inline char* put_words(char* col, __m512i w) {
  const __mmask64 keep = _mm512_test_epi8_mask(w, w);
  _mm512_storeu_si512(col, _mm512_maskz_compress_epi8(keep, w));
  return col + _mm_popcnt_u64(keep);
}

// Puts the fixed spellings and nothing in their lanes of w and squeezes the words out
// at col; returns the end, or nullptr when a pair or a fixed spelling shown has no word.
TOVIX_TARGET_VBMI2 inline char* put_row_words(char* col, __m512i w, const WordRow& r) {
  w = _mm512_mask_mov_epi32(w, static_cast<__mmask16>(r.specials),
                            _mm512_load_si512(g_x86.special_words[r.blank_first ? 1 : 0]));
  if (_mm512_mask_testn_epi32_mask(static_cast<__mmask16>(r.pairs | r.specials), w, w) != 0) {
    return nullptr;
  }
  return put_words(col, _mm512_maskz_mov_epi32(static_cast<__mmask16>(~r.empty), w));
}

// Each position's word gathered into its own 4-byte lane (the plain spelling of its
// byte, or at a lead byte the pair it would start), the fixed spellings and nothing put
// in their lanes, then the 0 bytes after each spelling squeezed out in one compress.
// Which lead bytes start a pair depends on the line before (the carry from line to
// line); the gather does not, so it can start as soon as the row's classes are known,
// while the carry is still being worked out: 7 to 9% faster on random bytes and the
// JPEG on an AMD EPYC (Zen 5) than gathering only the pairs.
TOVIX_TARGET_VBMI2 char* put_word_row_gather(char* col, const uint8_t* row, const WordRow& r) {
  const __m128i v = load(row);
  // (Masked forms: GCC 12 flags the undefined vectors of the plain ones as uninitialised.)
  const __m512i b = _mm512_maskz_cvtepu8_epi32(0xFFFF, v);
  // Every lead byte's pair, the last with the byte after the row (any byte keeps the
  // index within the table).
  const __m128i next = _mm_alignr_epi8(_mm_cvtsi32_si128(static_cast<int>(r.next15)), v, 1);
  const __m512i pair = _mm512_add_epi32(
      _mm512_maskz_slli_epi32(0xFFFF, b, 8),
      _mm512_add_epi32(_mm512_maskz_cvtepu8_epi32(0xFFFF, next),
                       _mm512_set1_epi32(static_cast<int>(console::pair_word_index(0, 0)))));
  const __m512i index = _mm512_mask_mov_epi32(b, static_cast<__mmask16>(r.lead), pair);
  return put_row_words(
      col,
      _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), 0xFFFF, index, g_column_words.words, 4),
      r);
}

// A row without lead bytes, with the plain spellings taken in registers when the bytes
// spelt otherwise lie within 64 of each other (kana): no gather at all. (Taking them so
// in a row with lead bytes and gathering only those gains nothing: a gather costs about
// the same whatever its mask or width, on an Intel Xeon and on an AMD EPYC alike.)
TOVIX_TARGET_VBMI2 char* put_word_row_avx512(char* col, const uint8_t* row, const WordRow& r) {
  if (r.lead != 0 || !g_x86.glyph_window) return put_word_row_gather(col, row, r);
  const __m128i v = load(row);
  const __m512i b = _mm512_maskz_cvtepu8_epi32(0xFFFF, v);
  __m512i w = _mm512_mask_mov_epi32(_mm512_set1_epi32('.'), static_cast<__mmask16>(r.copy), b);
  const __m512i g = _mm512_sub_epi32(b, _mm512_set1_epi32(static_cast<int>(g_x86.glyph_first)));
  const __m512i* gw = reinterpret_cast<const __m512i*>(g_x86.glyph_words);
  const __m512i low =
      _mm512_permutex2var_epi32(_mm512_load_si512(gw), g, _mm512_load_si512(gw + 1));
  const __m512i high =
      _mm512_permutex2var_epi32(_mm512_load_si512(gw + 2), g, _mm512_load_si512(gw + 3));
  w = _mm512_mask_mov_epi32(
      w, static_cast<__mmask16>(r.glyph),
      _mm512_mask_mov_epi32(low, _mm512_test_epi32_mask(g, _mm512_set1_epi32(32)), high));
  return put_row_words(col, w, r);
}

TOVIX_TARGET_VBMI2 char* put_row_lines_avx512vbmi2(char* out, const char* limit, uint32_t address,
                                                   const uint8_t* rows, size_t count,
                                                   int32_t last_look_ahead, RowLineFlags flags,
                                                   size_t* done) {
  if (flags.raw && g_x86.unconverted_lines != nullptr) {
    return g_x86.unconverted_lines(out, limit, address, rows, count, last_look_ahead, flags, done);
  }
  return put_row_lines_for_display<scan_row_avx512, format_row_avx512, format_hex_avx512,
                                   select_row_ssse3, put_word_row_avx512>(
      out, limit, address, rows, count, last_look_ahead, flags, done);
}

// The VBMI2 column's words in registers: the glyph window and the fixed spellings.
void set_vbmi2_words(const ScanRanges& ranges) {
  int first = -1, last = -1;
  for (int b = 0; b < 256; ++b) {
    if ((ranges.table[b] & 8) == 0) continue;
    if (first < 0) first = b;
    last = b;
  }
  g_x86.glyph_first = first < 0 ? 0 : static_cast<uint32_t>(first);
  g_x86.glyph_window = last - first < 64;
  for (int k = 0; k < 2; ++k) {
    for (int j = 0; j < 16; ++j) {
      g_x86.special_words[k][j] = g_column_words.words[kSpecialWords.index[k][j]];
    }
  }
  for (uint32_t i = 0; i < 64; ++i) {
    g_x86.glyph_words[i] = g_column_words.words[std::min<uint32_t>(g_x86.glyph_first + i, 255)];
  }
}

}  // namespace

const char* const* arch_row_kernel_names() {
  static const char* const kNames[] = {"sse2",       "ssse3",       "avx2gather", "avx2",
                                       "avx512vbmi", "avx512vbmi2", nullptr};
  return kNames;
}

namespace {
// Whether the processor runs what TOVIX_AVX2_LINE_BASE names.
bool runs_avx2_lines() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
         __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}
}  // namespace

void add_arch_row_kernels(RowKernelList& list) {
  const ScanRanges& ranges = scan_ranges();
  __builtin_cpu_init();
  // Every kernel from SSSE3 on spells converted columns with the shuffles.
  shuffle_column::g_planes.usable = false;
  g_x86.unconverted_lines = nullptr;
  if (__builtin_cpu_supports("ssse3")) shuffle_column::setup(ranges.table);
  // The range kernels need byte classes that are a few ranges each; others stay with
  // the portable table lookup unless the table kernel can run.
  if (ranges.fits) {
    load_class(ranges.lead, g_x86.lead);
    load_class(ranges.trail, g_x86.trail);
    load_class(ranges.copy, g_x86.copy);
    load_class(ranges.glyph, g_x86.glyph);
    list.kernels[list.count++] = {"sse2", scan_row_sse2, format_row_sse2, select_row_sse2,
                                  put_row_lines_sse2};
    if (__builtin_cpu_supports("ssse3")) {
      list.kernels[list.count++] = {"ssse3", scan_row_sse2, format_row_ssse3, select_row_ssse3,
                                    put_row_lines_ssse3};
    }
    if (runs_avx2_lines()) {
      list.kernels[list.count++] = {"avx2gather", scan_row_sse2, format_row_ssse3, select_row_ssse3,
                                    put_row_lines_avx2_gather};
      list.kernels[list.count++] = {"avx2", scan_row_sse2, format_row_ssse3, select_row_ssse3,
                                    put_row_lines_avx2};
      g_x86.unconverted_lines = put_row_lines_avx2;
    }
  }
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
      runs_avx2_lines()) {
    std::memcpy(g_x86.table, ranges.table, sizeof g_x86.table);
    list.kernels[list.count++] = {"avx512vbmi", scan_row_avx512, format_row_avx512,
                                  select_row_ssse3, put_row_lines_avx512};
    if (__builtin_cpu_supports("avx512vbmi2")) {
      set_vbmi2_words(ranges);
      list.kernels[list.count++] = {"avx512vbmi2", scan_row_avx512, format_row_avx512,
                                    select_row_ssse3, put_row_lines_avx512vbmi2};
    }
  }
}

}  // namespace dump
