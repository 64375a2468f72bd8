// The banner's version comes from the program file's own version resource (the
// fixed file information), looked up through the module that argument 0 names.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/version.h"

namespace platform {
namespace {

// The module name for a program name: the name itself, with ".exe" added when its
// final component has no extension. A lead byte of the ANSI code page takes the byte
// after it along, so a trail byte 0x5C is not read as a separator.
std::string module_name_of(const char* program_name) {
  std::string name = program_name;
  bool has_extension = false;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < name.size()) {
      ++i;
    } else if (c == '\\' || c == '/' || c == ':') {
      has_extension = false;
    } else if (c == '.') {
      has_extension = true;
    }
  }
  if (!has_extension) name += ".exe";
  return name;
}

// The full file name of the module, loading it for the moment when it is not loaded.
std::string module_file_name(const std::string& module_name) {
  HMODULE module = GetModuleHandleA(module_name.c_str());
  HMODULE loaded = nullptr;
  if (module == nullptr) {
    loaded = LoadLibraryA(module_name.c_str());
    if (loaded == nullptr) return "";
    module = GetModuleHandleA(module_name.c_str());
  }
  char path[MAX_PATH] = {};
  const DWORD n = module != nullptr ? GetModuleFileNameA(module, path, MAX_PATH) : 0;
  if (loaded != nullptr) FreeLibrary(loaded);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

}  // namespace

std::string file_version(const char* program_name) {
  if (program_name == nullptr || *program_name == '\0') return "";
  const std::string path = module_file_name(module_name_of(program_name));
  if (path.empty()) return "";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return "";
  std::vector<char> block(size, 0);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return "";
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), "\\", &value, &length) || value == nullptr ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return "";
  }
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", HIWORD(info->dwFileVersionMS),
                LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
                LOWORD(info->dwFileVersionLS));
  return text;
}

}  // namespace platform
