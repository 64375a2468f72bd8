#include "dump/utf8_row.h"

#include <cstring>

#include "console/display_char.h"
#include "console/dump_options.h"
#include "dump/hex_simd.h"

namespace dump {

PutUtf8RowFn g_put_utf8_row = nullptr;

namespace {

struct Utf8RowState {
  Utf8RowWriters list;
  bool listed = false;
};
Utf8RowState g_utf8_rows;

// The place of a kernel in the build's order, or -1 when the build has none so named.
int built_position(const char* name) {
  const char* const* built = built_row_kernel_names();
  for (int i = 0; built[i] != nullptr; ++i) {
    if (std::strcmp(built[i], name) == 0) return i;
  }
  return -1;
}

}  // namespace

const Utf8RowWriters& utf8_row_writers() {
  if (!g_utf8_rows.listed) {
    add_arch_utf8_row_writers(g_utf8_rows.list);
    g_utf8_rows.listed = true;
  }
  return g_utf8_rows.list;
}

void utf8_row_setup(const char* kernel_name) {
  g_put_utf8_row = nullptr;
  if (!console::display_chars_are_utf8() || !console::g_options.japanese_display) return;
  const int cap = built_position(kernel_name);
  const Utf8RowWriters& list = utf8_row_writers();
  for (int k = 0; k < list.count; ++k) {
    const int position = built_position(list.writers[k].name);
    if (position >= 0 && position <= cap) g_put_utf8_row = list.writers[k].put;
  }
}

void use_utf8_row_writer(const Utf8RowWriter* writer) {
  g_put_utf8_row = writer == nullptr ? nullptr : writer->put;
}

}  // namespace dump
