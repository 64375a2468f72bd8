// Row kernels for processors without kernels of their own: the portable kernel alone.
#include "dump/hex_simd.h"

namespace dump {

void add_arch_row_kernels(RowKernelList&) {}

}  // namespace dump
