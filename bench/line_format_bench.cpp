// Micro-benchmarks of the line formatter and the byte classifier: every row kernel this
// processor runs, on random bytes and on Shift_JIS text, raw and converted to UTF-8.
// Figures are bytes of input per second.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "console/display_encoding.h"
#include "console/dump_options.h"
#include "console/output.h"
#include "dump/block_reader.h"
#include "dump/byte_class.h"
#include "dump/char_row.h"
#include "dump/hex_simd.h"
#include "dump/japanese.h"
#include "dump/line_format.h"

namespace {

constexpr size_t kInputSize = 1 << 20;

std::string random_input() {
  std::mt19937 rng(7);
  std::string s(kInputSize, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// The shipped Shift_JIS sample, repeated; TOVIX_SAMPLE names it (set by CMake). The
// environment variable TOVIX_BENCH_INPUT names another file to take instead.
std::string sjis_input() {
  const char* other = std::getenv("TOVIX_BENCH_INPUT");
  std::ifstream in(other != nullptr ? other : TOVIX_SAMPLE, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string s;
  while (!text.empty() && s.size() < kInputSize) s += text;
  s.resize(kInputSize);
  return s;
}

const std::string& input(int which) {
  static const std::string kRandom = random_input(), kSjis = sjis_input();
  return which == 0 ? kRandom : kSjis;
}

void set_up(bool utf8, bool japanese) {
  dump::build_byte_classes(932);
  console::display_setup(932, utf8 ? "UTF-8" : "");
  dump::char_column_setup();
  console::g_options.pause = false;
  console::g_options.japanese_display = japanese;
  dump::line_format_setup();
}

// Formats the whole input line by line as the per-file loop would, into the output
// buffer, which is emptied instead of written.
void format_all(const std::string& data) {
  dump::g_position = {};
  dump::g_char_column = {};
  for (size_t pos = 0; pos < data.size(); pos += 16) {
    std::memcpy(dump::g_line.bytes, data.data() + pos, 16);
    dump::g_line.last_index = 15;
    dump::g_look_ahead = pos + 16 < data.size() ? static_cast<uint8_t>(data[pos + 16]) : -1;
    dump::write_dump_line();
    if (console::g_output.used >= console::kOutputBufferSize / 2) console::g_output.used = 0;
  }
  console::g_output.used = 0;
}

// Arguments: input (0 random, 1 Shift_JIS), UTF-8 conversion, Japanese display, kernel.
void BM_DumpLines(benchmark::State& state) {
  set_up(state.range(1) != 0, state.range(2) != 0);
  const dump::RowKernelList& kernels = dump::row_kernels();
  const int k = static_cast<int>(state.range(3));
  if (k >= kernels.count) {
    state.SkipWithError("kernel not available on this processor");
    return;
  }
  dump::use_line_kernel(kernels.kernels[k]);
  state.SetLabel(kernels.kernels[k].name);
  const std::string& data = input(static_cast<int>(state.range(0)));
  for (auto _ : state) format_all(data);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}

// Whole blocks through a kernel's line loop, as the dump writes the lines that follow
// in a block: arguments as for BM_DumpLines.
void BM_DumpBlocks(benchmark::State& state) {
  set_up(state.range(1) != 0, state.range(2) != 0);
  const dump::RowKernelList& kernels = dump::row_kernels();
  const int k = static_cast<int>(state.range(3));
  if (k >= kernels.count) {
    state.SkipWithError("kernel not available on this processor");
    return;
  }
  const dump::RowKernel& kernel = kernels.kernels[k];
  state.SetLabel(kernel.name);
  const std::string& data = input(static_cast<int>(state.range(0)));
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
  const size_t lines = data.size() / 16 - 1;  // each with its look-ahead in the data
  const dump::RowLineFlags flags = {true, dump::char_row_is_raw(), state.range(2) != 0};
  std::vector<char> out(1 << 17);
  for (auto _ : state) {
    dump::g_char_column = {};
    for (size_t line = 0; line < lines;) {
      size_t done;
      char* end =
          kernel.put_row_lines(out.data(), out.data() + (1 << 16), static_cast<uint32_t>(16 * line),
                               bytes + 16 * line, lines - line, bytes[16 * lines], flags, &done);
      benchmark::DoNotOptimize(end);
      line += done;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(16 * lines));
}

// The byte-by-byte path, the reference the kernels are tested against.
void BM_DumpLinesPerByte(benchmark::State& state) {
  set_up(state.range(1) != 0, true);
  dump::use_line_path(dump::LinePath::kPerByte);
  const std::string& data = input(static_cast<int>(state.range(0)));
  for (auto _ : state) format_all(data);
  dump::use_line_path(dump::LinePath::kRows);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}

// The row kernel alone: class masks and the plain row.
void BM_FormatRow(benchmark::State& state) {
  set_up(false, true);
  const dump::RowKernelList& kernels = dump::row_kernels();
  const int k = static_cast<int>(state.range(0));
  if (k >= kernels.count) {
    state.SkipWithError("kernel not available on this processor");
    return;
  }
  const dump::RowKernel& kernel = kernels.kernels[k];
  state.SetLabel(kernel.name);
  const std::string& data = input(0);
  std::vector<char> out(kInputSize / 16 * 96 + 128);
  uint32_t sum = 0;
  for (auto _ : state) {
    char* p = out.data();
    dump::RowScan scan;
    for (size_t pos = 0; pos < data.size(); pos += 16, p += dump::kRowWidth) {
      const auto* row = reinterpret_cast<const uint8_t*>(data.data()) + pos;
      kernel.scan_row(row, &scan);
      kernel.format_row(p, static_cast<uint32_t>(pos), row, scan);
      sum += scan.lead ^ scan.trail;
    }
    benchmark::DoNotOptimize(sum);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}

// The byte classifier alone: the four class masks of every row.
void BM_ScanRow(benchmark::State& state) {
  set_up(false, true);
  const dump::RowKernelList& kernels = dump::row_kernels();
  const int k = static_cast<int>(state.range(0));
  if (k >= kernels.count) {
    state.SkipWithError("kernel not available on this processor");
    return;
  }
  const dump::RowKernel& kernel = kernels.kernels[k];
  state.SetLabel(kernel.name);
  const std::string& data = input(0);
  uint32_t sum = 0;
  for (auto _ : state) {
    dump::RowScan scan;
    for (size_t pos = 0; pos < data.size(); pos += 16) {
      kernel.scan_row(reinterpret_cast<const uint8_t*>(data.data()) + pos, &scan);
      sum += scan.lead ^ scan.trail ^ scan.copy ^ scan.glyph;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(data.size()));
}

void kernel_args(benchmark::internal::Benchmark* b) {
  for (int input = 0; input < 2; ++input) {
    for (int utf8 = 0; utf8 < 2; ++utf8) {
      for (int japanese = 1; japanese >= 0; --japanese) {
        for (int k = 0; k < 8; ++k) b->Args({input, utf8, japanese, k});
      }
    }
  }
  b->ArgNames({"sjis_input", "utf8", "japanese", "kernel"});
}

BENCHMARK(BM_DumpLines)->Apply(kernel_args);
BENCHMARK(BM_DumpBlocks)->Apply(kernel_args);
BENCHMARK(BM_DumpLinesPerByte)->ArgsProduct({{0, 1}, {0, 1}})->ArgNames({"sjis_input", "utf8"});
BENCHMARK(BM_FormatRow)->DenseRange(0, 7)->ArgName("kernel");
BENCHMARK(BM_ScanRow)->DenseRange(0, 7)->ArgName("kernel");

}  // namespace
