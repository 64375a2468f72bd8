// Files through the Windows file calls: _lopen with writing by others denied, so that a
// file another process holds open for writing is refused, as the open-failure message
// then says.
#include <windows.h>

#include "platform/file.h"

namespace platform {
namespace {

constexpr int kOpenMode = OF_READ | OF_SHARE_DENY_WRITE;  // 0x20

// _lread takes a 32-bit count; the callers never ask for more than a block.
constexpr UINT kMaxRead = 0x7FFFFFFF;

HFILE to_hfile(FileHandle file) {
  return static_cast<HFILE>(file);
}

// The HFILE that _lopen returns is the file's handle.
HANDLE to_handle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

// Disk files have a size and a position; the console ("CON"), "NUL" and pipes have not.
bool is_disk_file(FileHandle file) {
  return GetFileType(to_handle(file)) == FILE_TYPE_DISK;
}

}  // namespace

FileHandle file_open(const char* name) {
  const HFILE file = _lopen(name, kOpenMode);
  if (file == HFILE_ERROR) return kInvalidFile;
  return static_cast<FileHandle>(file);
}

ptrdiff_t file_read(FileHandle file, void* buffer, size_t n) {
  const UINT want = n < kMaxRead ? static_cast<UINT>(n) : kMaxRead;
  const UINT got = _lread(to_hfile(file), buffer, want);
  if (got == static_cast<UINT>(HFILE_ERROR)) return -1;
  return static_cast<ptrdiff_t>(got);
}

uint64_t file_size(FileHandle file) {
  if (!is_disk_file(file)) return 0;
  // The high part is asked for as well: a file of 4 GiB or more keeps its true size,
  // so the pager's percentage stays right for it.
  DWORD high = 0;
  const DWORD low = GetFileSize(to_handle(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
  return (static_cast<uint64_t>(high) << 32) | low;
}

bool file_seek_forward(FileHandle file, uint64_t n) {
  if (!is_disk_file(file)) return false;
  // _llseek reports positions in 32 signed bits, which a file past 2 GiB overflows.
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(n);
  return SetFilePointerEx(to_handle(file), distance, nullptr, FILE_CURRENT) != 0;
}

bool file_is_output(FileHandle file) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE || out == nullptr || GetFileType(out) != FILE_TYPE_DISK) {
    return false;
  }
  // A file is the same file when its volume and its index on the volume agree.
  BY_HANDLE_FILE_INFORMATION a, b;
  if (!GetFileInformationByHandle(out, &a) || !GetFileInformationByHandle(to_handle(file), &b)) {
    return false;
  }
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

bool file_is_live(FileHandle file) {
  return !is_disk_file(file);
}

bool file_read_ready(FileHandle file) {
  // A pipe tells how much it holds; a pipe whose writer has gone fails the peek, and the
  // read then returns at once with the end. The console and other character devices
  // cannot tell, so a read of them counts as one that may wait.
  if (GetFileType(to_handle(file)) != FILE_TYPE_PIPE) return false;
  DWORD available = 0;
  if (!PeekNamedPipe(to_handle(file), nullptr, 0, nullptr, &available, nullptr)) return true;
  return available > 0;
}

void file_close(FileHandle file) {
  _lclose(to_hfile(file));
}

FileHandle file_open_standard_input() {
  // A handle of its own, so that closing it after the dump leaves standard input be.
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  if (in == INVALID_HANDLE_VALUE || in == nullptr) return kInvalidFile;
  HANDLE own = nullptr;
  const HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, in, process, &own, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return kInvalidFile;
  }
  return reinterpret_cast<FileHandle>(own);
}

bool standard_input_is_terminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

// '/' starts an option group on Windows; paths begin with a drive or a backslash.
bool slash_is_path_root() {
  return false;
}

}  // namespace platform
