// The one way tests reach the Windows console layer's event handler.
#pragma once

namespace console {

/// Does what Ctrl+C, Ctrl+Break or the console closing does before the process ends.
void console_event_for_test();

}  // namespace console
