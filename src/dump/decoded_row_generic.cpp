// Decoded rows for processors without row writers of their own: the portable ones alone.
#include "dump/decoded_row.h"

namespace dump {

void add_arch_decoded_rows(const char*, DecodedRowPaths&) {}

}  // namespace dump
