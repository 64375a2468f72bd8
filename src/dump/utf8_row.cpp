#include "dump/utf8_row.h"

#include <cstring>

#include "dump/hex_simd.h"

namespace dump {

namespace {

struct Utf8RowState {
  Utf8RowWriters list;
  bool listed = false;
};
Utf8RowState g_utf8_rows;

}  // namespace

const Utf8RowWriters& utf8_row_writers() {
  if (!g_utf8_rows.listed) {
    add_arch_utf8_row_writers(g_utf8_rows.list);
    g_utf8_rows.listed = true;
  }
  return g_utf8_rows.list;
}

PutUtf8RowFn utf8_row_writer_up_to(const char* kernel_name) {
  const int cap = built_kernel_position(kernel_name);
  const Utf8RowWriters& list = utf8_row_writers();
  PutUtf8RowFn chosen = nullptr;
  for (int k = 0; k < list.count; ++k) {
    const int position = built_kernel_position(list.writers[k].name);
    if (position >= 0 && position <= cap) chosen = list.writers[k].put;
  }
  return chosen;
}

}  // namespace dump
