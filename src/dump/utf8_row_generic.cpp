// UTF-8 row writers for processors without writers of their own: none, the general
// column writes every row.
#include "dump/utf8_row.h"

namespace dump {

void add_arch_utf8_row_writers(Utf8RowWriters&) {}

}  // namespace dump
