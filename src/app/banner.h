// The banner line and the program's version text.
#pragma once

#include <cstddef>
#include <string>

namespace app {

/// Writes the program's file version ("2.1.0.2") into out (size bytes); returns 1 when
/// a version was written, 0 when none is known (out is then empty).
int module_version(const char* program_name, char* out, size_t size);

/// Fills the version text that the banner shows; called once before anything is written.
void load_version_text(const char* program_name);

/// "Tovix <version> <notice>": the banner's text, without line ends.
std::string version_line();

/// Writes "\nTovix <version> <notice>\n" in the banner's colour and sets the row count
/// to 2.
void show_banner();

}  // namespace app
