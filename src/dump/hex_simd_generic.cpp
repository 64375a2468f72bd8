// Row kernels for processors without kernels of their own: the portable kernel alone.
#include "dump/hex_simd.h"

namespace dump {

void add_arch_row_kernels(RowKernelList&) {}

const char* const* arch_row_kernel_names() {
  static const char* const kNames[] = {nullptr};
  return kNames;
}

}  // namespace dump
