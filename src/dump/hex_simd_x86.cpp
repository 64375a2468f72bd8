// Row kernels for x86-64. SSE2 is part of every x86-64 processor; the SSSE3 and AVX2
// kernels are compiled for their instruction sets function by function and offered only
// when the processor reports them, so the program runs on any x86-64.
#include <immintrin.h>

#include <cstring>

#include "dump/char_row.h"
#include "dump/hex_simd.h"

#define TOVIX_TARGET_SSSE3 __attribute__((target("ssse3")))
#define TOVIX_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi"), flatten))
// Whole-line writers inline the target-specific pieces through the generic templates.
#define TOVIX_LINE_SSSE3 __attribute__((target("ssse3"), flatten))

namespace dump {
namespace {

// The class ranges as vectors: byte x is in range k when (x - first[k]) as an unsigned
// byte is at most width[k].
struct ClassVectors {
  __m128i first[ScanRanges::kMaxRanges];
  __m128i width[ScanRanges::kMaxRanges];
  int count = 0;
};
struct X86Kernels {
  ClassVectors lead, trail, copy, glyph;
  alignas(64) uint8_t table[256];  // the class flags of ScanRanges::table
};
X86Kernels g_x86;

void load_class(const ScanRanges::Class& from, ClassVectors& to) {
  to.count = from.count;
  for (int k = 0; k < from.count; ++k) {
    to.first[k] = _mm_set1_epi8(static_cast<char>(from.ranges[k].first));
    to.width[k] = _mm_set1_epi8(static_cast<char>(from.ranges[k].width));
  }
}

inline __m128i in_class(__m128i v, const ClassVectors& c) {
  __m128i m = _mm_setzero_si128();
  for (int k = 0; k < c.count; ++k) {
    const __m128i x = _mm_sub_epi8(v, c.first[k]);
    m = _mm_or_si128(m, _mm_cmpeq_epi8(_mm_min_epu8(x, c.width[k]), x));
  }
  return m;
}

inline uint32_t bits(__m128i m) {
  return static_cast<uint32_t>(_mm_movemask_epi8(m));
}

// Classifies v and stores the plain character column at col. The masks go out one
// field at a time: a returned struct would be stored in halves and loaded whole, which
// stalls the load until the stores retire.
inline void scan_and_store(__m128i v, char* col, RowScan* scan) {
  const __m128i copy = in_class(v, g_x86.copy);
  const __m128i plain =
      _mm_or_si128(_mm_and_si128(copy, v), _mm_andnot_si128(copy, _mm_set1_epi8('.')));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(col), plain);
  scan->lead = bits(in_class(v, g_x86.lead));
  scan->trail = bits(in_class(v, g_x86.trail));
  scan->glyph = g_x86.glyph.count == 0 ? 0 : bits(in_class(v, g_x86.glyph));
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

inline __m128i load(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}

// SSE2 alone has no byte shuffle: digits through the portable triplet writes, the
// classification in vectors.
void format_row_sse2(char* out, uint32_t address, const uint8_t* bytes, RowScan* scan) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (int i = 0; i < 8; ++i) out[i] = kDigits[(address >> (28 - 4 * i)) & 15];
  std::memcpy(out + 8, "  ", 2);
  for (int i = 0; i < 16; ++i) {
    char* p = out + 10 + 3 * i;
    p[0] = kDigits[bytes[i] >> 4];
    p[1] = kDigits[bytes[i] & 15];
    p[2] = ' ';
  }
  out[58] = ' ';
  out[59] = ' ';
  scan_and_store(load(bytes), out + kCharColumnIndex, scan);
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

void blend_row_sse2(char* col, const uint8_t* row, uint32_t raw, uint32_t dots) {
  const __m128i r = expand_mask(raw), d = expand_mask(dots);
  __m128i v = load(col);
  v = _mm_or_si128(_mm_andnot_si128(r, v), _mm_and_si128(r, load(row)));
  v = _mm_or_si128(_mm_andnot_si128(d, v), _mm_and_si128(d, _mm_set1_epi8('.')));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(col), v);
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

TOVIX_TARGET_SSSE3 void format_row_ssse3(char* out, uint32_t address, const uint8_t* bytes,
                                         RowScan* scan) {
  // The offset: its four bytes high first, eight digits, then blanks up to the hex column.
  const __m128i a = _mm_cvtsi32_si128(static_cast<int>(__builtin_bswap32(address)));
  const __m128i a_digits = _mm_unpacklo_epi8(hex_high(a), hex_low(a));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                   _mm_unpacklo_epi64(a_digits, _mm_set1_epi8(' ')));

  const __m128i v = load(bytes);
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
  scan_and_store(v, out + kCharColumnIndex, scan);
}

TOVIX_TARGET_SSSE3 inline __m128i expand_mask_ssse3(uint32_t m) {
  const __m128i spread =
      _mm_shuffle_epi8(_mm_cvtsi32_si128(static_cast<int>(m)),
                       _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1));
  const __m128i bit = _mm_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
  return _mm_cmpeq_epi8(_mm_and_si128(spread, bit), bit);
}

TOVIX_TARGET_SSSE3 void blend_row_ssse3(char* col, const uint8_t* row, uint32_t raw,
                                        uint32_t dots) {
  const __m128i r = expand_mask_ssse3(raw), d = expand_mask_ssse3(dots);
  __m128i v = load(col);
  v = _mm_or_si128(_mm_andnot_si128(r, v), _mm_and_si128(r, load(row)));
  v = _mm_or_si128(_mm_andnot_si128(d, v), _mm_and_si128(d, _mm_set1_epi8('.')));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(col), v);
}

// Whole lines: the row kernel, the Japanese mending and the blend compiled together.
// The blend needs SSE2 alone, so it inlines into every kernel.
char* put_row_line_sse2(char* out, uint32_t address, const uint8_t* bytes, RowLineFlags flags) {
  RowScan scan;
  format_row_sse2(out, address, bytes, &scan);
  return finish_row_line<blend_row_sse2>(out, bytes, scan, flags);
}

TOVIX_LINE_SSSE3 char* put_row_line_ssse3(char* out, uint32_t address, const uint8_t* bytes,
                                          RowLineFlags flags) {
  RowScan scan;
  format_row_ssse3(out, address, bytes, &scan);
  return finish_row_line<blend_row_ssse3>(out, bytes, scan, flags);
}

// GCC 12 takes the undefined upper halves inside its own AVX-512 intrinsics for
// uninitialised values (fixed in GCC 13); nothing here reads them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"

// AVX-512 with VBMI: the classes come from one 256-entry table lookup, and the offset
// and the hex column from one byte permutation of the digits.

// Where each of the first 64 bytes of a line comes from in the digit vector
// [digits of bytes 0-7 | offset digits | digits of bytes 8-15 | unused]; -1 for a blank.
struct LinePermutation {
  int8_t from[64];
  uint64_t keep;  // bit set where the byte comes from the digits
};
constexpr LinePermutation kLinePermutation = [] {
  LinePermutation p{};
  for (int o = 0; o < 64; ++o) {
    int from = -1;
    if (o < 8) {
      from = 16 + o;
    } else if (o >= 10 && o < 58 && (o - 10) % 3 != 2) {
      const int t = 2 * ((o - 10) / 3) + (o - 10) % 3;  // digit t of the row's 32
      from = t < 16 ? t : 32 + (t - 16);
    }
    p.from[o] = static_cast<int8_t>(from < 0 ? 0 : from);
    if (from >= 0) p.keep |= uint64_t{1} << o;
  }
  return p;
}();

TOVIX_TARGET_AVX512 void format_row_avx512(char* out, uint32_t address, const uint8_t* bytes,
                                           RowScan* scan) {
  const __m128i v = load(bytes);
  // Row bytes in the low lane, the offset's bytes (high first) in the high lane; the
  // digit table repeats, so index bit 4 (whatever the shift brought in) does not matter.
  const __m256i in =
      _mm256_inserti128_si256(_mm256_castsi128_si256(v),
                              _mm_cvtsi32_si128(static_cast<int>(__builtin_bswap32(address))), 1);
  const __m256i digits = _mm256_setr_epi8('0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'A',
                                          'B', 'C', 'D', 'E', 'F', '0', '1', '2', '3', '4', '5',
                                          '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F');
  const __m256i hi = _mm256_maskz_permutexvar_epi8(~0u, _mm256_srli_epi16(in, 4), digits);
  const __m256i lo = _mm256_maskz_permutexvar_epi8(~0u, in, digits);
  const __m512i all = _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_unpacklo_epi8(hi, lo)),
                                         _mm256_unpackhi_epi8(hi, lo), 1);
  const __m512i line = _mm512_mask_permutexvar_epi8(_mm512_set1_epi8(' '), kLinePermutation.keep,
                                                    _mm512_loadu_si512(kLinePermutation.from), all);
  _mm512_storeu_si512(out, line);

  // Classes: entries 0-127 and 128-255 looked up separately, chosen by bit 7.
  const __m512i idx = _mm512_zextsi128_si512(v);
  const __m512i* t = reinterpret_cast<const __m512i*>(g_x86.table);
  const __m512i low = _mm512_permutex2var_epi8(_mm512_load_si512(t), idx, _mm512_load_si512(t + 1));
  const __m512i high =
      _mm512_permutex2var_epi8(_mm512_load_si512(t + 2), idx, _mm512_load_si512(t + 3));
  const __m128i cls =
      _mm512_castsi512_si128(_mm512_mask_blend_epi8(_mm512_movepi8_mask(idx), low, high));
  const __mmask16 copy = _mm_test_epi8_mask(cls, _mm_set1_epi8(4));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kCharColumnIndex),
                   _mm_mask_blend_epi8(copy, _mm_set1_epi8('.'), v));
  scan->lead = _mm_test_epi8_mask(cls, _mm_set1_epi8(1));
  scan->trail = _mm_test_epi8_mask(cls, _mm_set1_epi8(2));
  scan->glyph = _mm_test_epi8_mask(cls, _mm_set1_epi8(8));
}

TOVIX_TARGET_AVX512 void blend_row_avx512(char* col, const uint8_t* row, uint32_t raw,
                                          uint32_t dots) {
  __m128i v = load(col);
  v = _mm_mask_mov_epi8(v, static_cast<__mmask16>(raw), load(row));
  v = _mm_mask_mov_epi8(v, static_cast<__mmask16>(dots), _mm_set1_epi8('.'));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(col), v);
}

TOVIX_TARGET_AVX512 char* put_row_line_avx512(char* out, uint32_t address, const uint8_t* bytes,
                                              RowLineFlags flags) {
  RowScan scan;
  format_row_avx512(out, address, bytes, &scan);
  return finish_row_line<blend_row_avx512>(out, bytes, scan, flags);
}

#pragma GCC diagnostic pop

}  // namespace

void add_arch_row_kernels(RowKernelList& list) {
  const ScanRanges& ranges = scan_ranges();
  __builtin_cpu_init();
  // The range kernels need byte classes that are a few ranges each; others stay with
  // the portable table lookup unless the table kernel can run.
  if (ranges.fits) {
    load_class(ranges.lead, g_x86.lead);
    load_class(ranges.trail, g_x86.trail);
    load_class(ranges.copy, g_x86.copy);
    load_class(ranges.glyph, g_x86.glyph);
    list.kernels[list.count++] = {"sse2", format_row_sse2, blend_row_sse2, put_row_line_sse2};
    if (__builtin_cpu_supports("ssse3")) {
      list.kernels[list.count++] = {"ssse3", format_row_ssse3, blend_row_ssse3, put_row_line_ssse3};
    }
  }
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi")) {
    std::memcpy(g_x86.table, ranges.table, sizeof g_x86.table);
    list.kernels[list.count++] = {"avx512vbmi", format_row_avx512, blend_row_avx512,
                                  put_row_line_avx512};
  }
}

}  // namespace dump
