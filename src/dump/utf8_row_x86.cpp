// UTF-8 row writers for x86-64: SSSE3 (byte shuffles) and AVX-512 (VBMI2: byte
// compress). Each is compiled for its instruction set alone and offered only when the
// processor reports it, so the program runs on any x86-64.
#include <immintrin.h>

#include <cstring>

#include "console/display_char.h"
#include "dump/hex_simd_x86_column.h"
#include "dump/utf8_row.h"

#define TOVIX_TARGET_SSSE3 __attribute__((target("ssse3")))
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
inline const uint32_t* hidden() {
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

// Where the row's characters of two and three bytes begin, from its byte classes (bit i
// for byte i, the look-ahead's from bit 16 on): tail 80-BF, low_tail 80-9F, lead2 C2-DF,
// lead3 E0-EF, lead4 F0-F4, e0 and ed those bytes. free has the positions not shown
// blank for a character of the last line; beyond is set when a character of four bytes
// may begin on the line, whose word is not kept (the general column then takes the row).
struct Starts {
  uint32_t valid2, valid3, free;
  bool beyond;
};

inline Starts find_starts(uint32_t tail, uint32_t low_tail, uint32_t lead2, uint32_t lead3,
                          uint32_t lead4, uint32_t e0, uint32_t ed, int32_t carried) {
  // Three bytes: after E0 no 80-9F (an overlong form), after ED nothing else (a surrogate).
  const uint32_t tails2 = tail >> 1, tails3 = tails2 & (tail >> 2);
  const uint32_t free = ~((1u << carried) - 1);
  return {lead2 & tails2 & 0xFFFF,
          lead3 & tails3 & ~(e0 & (low_tail >> 1)) & ~(ed & ~(low_tail >> 1)) & 0xFFFF, free,
          (lead4 & tails3 & (tail >> 3) & free & 0xFFFF) != 0};
}

// The positions of the next line that a character at this one's end takes (no more than
// 3 are shown blank, so none of those at 14 and 15).
inline int32_t next_carried(const Starts& s) {
  return static_cast<int32_t>(((s.valid2 >> 15) & 1) + ((s.valid3 >> 14) & 1) +
                              2 * ((s.valid3 >> 15) & 1));
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
  // (The positions shown blank for a character of the last line are left out only at
  // the end: the characters found at this line's end do not wait for the last line's.)
  const Starts starts = find_starts(tail, low_tail, lead2, lead3, lead4, e0, ed, *carried);
  if (starts.beyond) return nullptr;
  const uint32_t valid2 = starts.valid2, valid3 = starts.valid3, free = starts.free;
  const uint32_t valid = valid2 | valid3;

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
  *carried = next_carried(starts);
  return p + _mm_popcnt_u64(keep);
}

// The output of four positions, entry n0 + 3 n1 + 9 n2 + 27 n3 for n_i blanks (0 to 2)
// after position i: take has each position's byte (an index into the four) and -128 for
// a blank or nothing, blanks the blanks; length is the bytes written.
struct GroupShuffles {
  alignas(16) int8_t take[81][16];
  alignas(16) char blanks[81][16];
  uint8_t length[81];
};
constexpr GroupShuffles kGroupShuffles = [] {
  GroupShuffles g{};
  for (int e = 0; e < 81; ++e) {
    int out = 0;
    for (int i = 0, rest = e; i < 4; ++i, rest /= 3) {
      g.take[e][out++] = static_cast<int8_t>(i);
      for (int n = 0; n < rest % 3; ++n) {
        g.take[e][out] = -128;
        g.blanks[e][out++] = ' ';
      }
    }
    g.length[e] = static_cast<uint8_t>(out);
    for (int b = out; b < 16; ++b) g.take[e][b] = -128;
  }
  return g;
}();

// The entry of kGroupShuffles for four positions, by the bits of "a blank after it" (low
// nibble) and "two blanks after it" (high nibble).
struct GroupEntries {
  uint8_t entry[256];
};
constexpr GroupEntries kGroupEntries = [] {
  GroupEntries g{};
  for (int m = 0; m < 256; ++m) {
    for (int i = 0, power = 1; i < 4; ++i, power *= 3) {
      g.entry[m] =
          static_cast<uint8_t>(g.entry[m] + (((m >> i) & 1) + ((m >> (i + 4)) & 1)) * power);
    }
  }
  return g;
}();

// The top bits of the bytes of m, bit i for byte i.
TOVIX_TARGET_SSSE3 inline uint32_t bits(__m128i m) {
  return static_cast<uint32_t>(_mm_movemask_epi8(m));
}

using shuffle_column::byte_mask;

// b where m is set, a elsewhere.
TOVIX_TARGET_SSSE3 inline __m128i select(__m128i a, __m128i b, __m128i m) {
  return _mm_or_si128(_mm_andnot_si128(m, a), _mm_and_si128(m, b));
}

// With SSSE3: the classes as byte masks, each character's word by a plain load (a loop
// over the characters, not the positions), and the output four positions at a time: a
// shown character's own bytes, the other positions' byte, dot or blank, and the blanks
// after each character inserted by a shuffle from a table.
TOVIX_TARGET_SSSE3 char* put_utf8_row_ssse3(char* p, const uint8_t* row, size_t ahead,
                                            int32_t* carried) {
  uint32_t after = 0;
  for (size_t i = 0; i < ahead; ++i) after |= uint32_t{row[16 + i]} << (8 * i);
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
  // The row and its look-ahead, for four bytes from any position.
  alignas(16) uint8_t bytes[32];
  _mm_store_si128(reinterpret_cast<__m128i*>(bytes), v);
  _mm_store_si128(reinterpret_cast<__m128i*>(bytes + 16),
                  _mm_cvtsi32_si128(static_cast<int>(after)));
  // As signed bytes, 80-BF are those below C0 and 80-9F those below A0; from C2, E0, F0
  // and F5 on the bytes above C1, DF, EF and F4, among those with the top bit set. The
  // look-ahead's bytes count only as continuation bytes.
  uint32_t tail_after = 0;
  for (int i = 0; i < 3; ++i) {
    tail_after |= uint32_t{((after >> (8 * i)) & 0xC0) == 0x80} << (16 + i);
  }
  const auto byte = [](int b) { return static_cast<char>(b); };
  const uint32_t high = bits(v);
  const uint32_t tail = bits(_mm_cmpgt_epi8(_mm_set1_epi8(byte(0xC0)), v)) | tail_after;
  const uint32_t low_tail =
      bits(_mm_cmpgt_epi8(_mm_set1_epi8(byte(0xA0)), v)) | uint32_t{(after & 0xE0) == 0x80} << 16;
  const uint32_t from_c2 = high & bits(_mm_cmpgt_epi8(v, _mm_set1_epi8(byte(0xC1))));
  const uint32_t from_e0 = high & bits(_mm_cmpgt_epi8(v, _mm_set1_epi8(byte(0xDF))));
  const uint32_t from_f0 = high & bits(_mm_cmpgt_epi8(v, _mm_set1_epi8(byte(0xEF))));
  const uint32_t from_f5 = high & bits(_mm_cmpgt_epi8(v, _mm_set1_epi8(byte(0xF4))));
  const Starts starts =
      find_starts(tail, low_tail, from_c2 & ~from_e0, from_e0 & ~from_f0, from_f0 & ~from_f5,
                  bits(_mm_cmpeq_epi8(v, _mm_set1_epi8(byte(0xE0)))),
                  bits(_mm_cmpeq_epi8(v, _mm_set1_epi8(byte(0xED)))), *carried);
  if (starts.beyond) return nullptr;
  // Each character's cells: 0 (not shown), 1 or 2.
  uint32_t shown = 0, one_cell = 0, built = console::kCharWordBuilt;
  for (uint32_t m = (starts.valid2 | starts.valid3) & starts.free; m != 0; m &= m - 1) {
    const int k = __builtin_ctz(m);
    uint32_t u;
    std::memcpy(&u, bytes + k, 4);
    const uint32_t three = 0 - ((starts.valid3 >> k) & 1);
    const uint32_t cp = (three & (((u & 0x0F) << 12) | ((u >> 2) & 0xFC0) | ((u >> 16) & 0x3F))) |
                        (~three & (((u & 0x1F) << 6) | ((u >> 8) & 0x3F)));
    const uint32_t w = console::g_char_words[cp];
    built &= w;
    const uint32_t cells = (w >> 27) & 3;
    shown |= uint32_t{cells != 0} << k;
    one_cell |= uint32_t{cells == 1} << k;
  }
  if (built == 0) return nullptr;  // a word not built yet
  // The bytes a shown character puts out as its own (those past the line's end too),
  // and the blanks after it: as many as its positions on the line exceed its cells, one
  // or two after a character of one cell, one after one of three bytes and two cells.
  const uint32_t shown2 = shown & starts.valid2, shown3 = shown & starts.valid3;
  const uint32_t own = shown2 | shown2 << 1 | shown3 | shown3 << 1 | shown3 << 2;
  const uint32_t blank1 = ((shown2 & one_cell & 0x7FFF) << 1) | ((shown3 & 0x3FFF) << 2) |
                          ((shown3 & one_cell & 0x4000) << 2);
  const uint32_t blank2 = (shown3 & one_cell & 0x3FFF) << 2;
  // Every position's byte: the byte or a dot alone, a blank where the last line's
  // character stands, a shown character's own.
  const __m128i printable = _mm_andnot_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(0x7F)),
                                             _mm_cmpgt_epi8(v, _mm_set1_epi8(0x1F)));
  __m128i column = select(_mm_set1_epi8('.'), v, printable);
  column = select(column, _mm_set1_epi8(' '), byte_mask(~starts.free & 0xFFFF));
  column = select(column, v, byte_mask(own & 0xFFFF));
  for (int g = 0; g < 4; ++g) {
    const uint32_t nibbles = ((blank1 >> (4 * g)) & 15) | ((blank2 >> (4 * g)) & 15) << 4;
    const int e = kGroupEntries.entry[nibbles];
    const __m128i take = _mm_load_si128(reinterpret_cast<const __m128i*>(kGroupShuffles.take[e]));
    const __m128i blanks =
        _mm_load_si128(reinterpret_cast<const __m128i*>(kGroupShuffles.blanks[e]));
    const __m128i four = g == 0   ? column
                         : g == 1 ? _mm_srli_si128(column, 4)
                         : g == 2 ? _mm_srli_si128(column, 8)
                                  : _mm_srli_si128(column, 12);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p),
                     _mm_or_si128(_mm_shuffle_epi8(four, take), blanks));
    p += kGroupShuffles.length[e];
  }
  // A shown character cut by the line's end: its bytes past it, and a blank after them
  // when it has one cell and two positions on the line.
  const uint32_t past = ((own >> 16) & 1) + ((own >> 17) & 1);
  const uint32_t rest =
      (after & ((1u << (8 * past)) - 1)) | ((blank1 >> 16) & 1) * (0x20u << (8 * past));
  std::memcpy(p, &rest, 4);
  p += past + ((blank1 >> 16) & 1);
  *carried = next_carried(starts);
  return p;
}

}  // namespace

void add_arch_utf8_row_writers(Utf8RowWriters& list) {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("ssse3")) list.writers[list.count++] = {"ssse3", put_utf8_row_ssse3};
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
      __builtin_cpu_supports("avx512vbmi2") && __builtin_cpu_supports("popcnt")) {
    list.writers[list.count++] = {"avx512vbmi2", put_utf8_row_avx512vbmi2};
  }
}

}  // namespace dump
