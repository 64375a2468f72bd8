#include "scratch_win32.h"

#include <windows.h>

#include <stdexcept>

namespace tovix_test {
namespace {

void remove_tree(const std::string& dir) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "\\" + name;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        remove_tree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

}  // namespace

WinScratchDir::WinScratchDir() {
  char temp[MAX_PATH];
  const DWORD n = GetTempPathA(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) throw std::runtime_error("no temporary folder");
  for (unsigned i = 0;; ++i) {
    path_ = std::string(temp) + "tovix-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount()) + "-" + std::to_string(i);
    if (CreateDirectoryA(path_.c_str(), nullptr)) return;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("no scratch folder");
  }
}

WinScratchDir::~WinScratchDir() {
  remove_tree(path_);
}

std::string WinScratchDir::write(const std::string& name, const std::string& data) const {
  const std::string path = path_ + "\\" + name;
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write " + path);
  DWORD put = 0;
  WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
  CloseHandle(file);
  return path;
}

std::string WinScratchDir::make_dir(const std::string& name) const {
  const std::string path = path_ + "\\" + name;
  if (!CreateDirectoryA(path.c_str(), nullptr)) throw std::runtime_error("cannot make " + path);
  return path;
}

}  // namespace tovix_test
