// The one way tests reach into the pager: its key source.
#pragma once

namespace console {

/// Makes pager_prompt take its keys from next_key instead of the terminal; nullptr puts
/// the terminal back.
void pager_use_key_source(int (*next_key)());

}  // namespace console
