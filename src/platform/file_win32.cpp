// Files through the wide Windows file calls, so that names of any length open (see
// wide_path.h). A file is opened shared for reading, writing and deletion: a log that a
// program is writing, or a file open in an editor, can still be dumped.
#include <windows.h>

#include <cstring>

#include "platform/file.h"
#include "platform/wide_path.h"

namespace platform {
namespace {

// ReadFile takes a 32-bit count; the callers never ask for more than a block.
constexpr DWORD kMaxRead = 0x7FFFFFFF;

HANDLE to_handle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

// Disk files have a size and a position; the console ("CON"), "NUL" and pipes have not.
bool is_disk_file(FileHandle file) {
  return GetFileType(to_handle(file)) == FILE_TYPE_DISK;
}

// Which file a handle stands for: its volume and its ID there; its size and the time
// of its last write, for a handle whose volume is not known.
struct FileIdentity {
  ULONGLONG volume = 0;
  FILE_ID_128 id = {};
  LONGLONG size = 0;
  LONGLONG written = 0;
};

// The 128-bit ID where the file system gives it (ReFS needs it; NTFS gives it too); else
// the volume serial number and the 64-bit file index.
bool identify(HANDLE handle, FileIdentity* identity) {
  FILE_BASIC_INFO basic;
  LARGE_INTEGER size;
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
      GetFileSizeEx(handle, &size)) {
    identity->written = basic.LastWriteTime.QuadPart;
    identity->size = size.QuadPart;
  }
  FILE_ID_INFO info;
  if (GetFileInformationByHandleEx(handle, FileIdInfo, &info, sizeof info)) {
    identity->volume = info.VolumeSerialNumber;
    identity->id = info.FileId;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION old;
  if (!GetFileInformationByHandle(handle, &old)) return false;
  identity->volume = old.dwVolumeSerialNumber;
  const ULONGLONG index = (ULONGLONG{old.nFileIndexHigh} << 32) | old.nFileIndexLow;
  static_assert(sizeof identity->id.Identifier == 16);
  std::memcpy(identity->id.Identifier, &index, sizeof index);
  return true;
}

// Wine gives a handle that a POSIX shell's redirection made the volume 0: with the same
// ID, the same size and the same time of the last write, that is the same file.
bool same_file(const FileIdentity& a, const FileIdentity& b) {
  if (std::memcmp(&a.id, &b.id, sizeof a.id) != 0) return false;
  if (a.volume == b.volume) return true;
  return (a.volume == 0 || b.volume == 0) && a.size == b.size && a.written == b.written;
}

}  // namespace

FileHandle file_open(const char* name, OpenAs as) {
  const std::wstring path = wide_path(name);
  if (path.empty()) return kInvalidFile;
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory does not open.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return kInvalidFile;
  const FileHandle handle = reinterpret_cast<FileHandle>(file);
  if (as == OpenAs::kFileOnly && !is_disk_file(handle)) {
    CloseHandle(file);
    return kNotAFile;
  }
  return handle;
}

bool file_open_may_wait(const char*) {
  // An open never waits: a pipe that has no free instance fails at once.
  return false;
}

ptrdiff_t file_read(FileHandle file, void* buffer, size_t n) {
  const DWORD want = n < kMaxRead ? static_cast<DWORD>(n) : kMaxRead;
  DWORD got = 0;
  if (!ReadFile(to_handle(file), buffer, want, &got, nullptr)) {
    // A pipe whose writer has closed its end ends the input; it is not a failure.
    return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
  }
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
  // A file is the same file when its volume and its ID on the volume agree.
  FileIdentity a, b;
  if (!identify(out, &a) || !identify(to_handle(file), &b)) return false;
  return same_file(a, b);
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
  CloseHandle(to_handle(file));
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
