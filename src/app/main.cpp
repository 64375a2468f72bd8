// Tovix: a hex dump with Shift_JIS shown as characters.
#include "app/arguments.h"
#include "app/banner.h"
#include "app/file_loop.h"
#include "app/options.h"
#include "console/console.h"
#include "console/display_char.h"
#include "console/display_encoding.h"
#include "console/pager.h"
#include "console/run_end.h"
#include "dump/byte_class.h"
#include "dump/japanese.h"
#include "dump/line_format.h"
#include "platform/locale.h"
#include "platform/output.h"

int main(int argc, char** argv) {
  platform::output_hold_standard_slots();
  // The byte classes come first: everything that reads bytes or names depends on them.
  const int code_page = platform::system_code_page();
  dump::build_byte_classes(code_page);
  console::display_setup(code_page, platform::display_charset(code_page).c_str());
  console::display_char_setup(code_page, platform::display_charset(code_page).c_str());
  dump::char_column_setup();
  // The command line is split only now: the split keeps double-byte characters whole.
  app::ProgramArguments arguments(argc, argv);
  argc = arguments.count();
  argv = arguments.vector();

  app::load_version_text(argc > 0 ? argv[0] : nullptr);
  console::console_open();
  const int count = app::parse_options(argc - 1, argv + 1);
  app::show_banner();
  console::set_cursor_visible(false);
  console::g_screen.page_height = console::page_height_for_window(console::window_height());

  dump::line_format_setup();
  app::dump_file_arguments(count, argv + argc - count);
  console::set_cursor_visible(true);
  console::end_run(0);
}
