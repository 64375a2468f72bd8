// What the console checks need from the Windows side and a shell cannot give them under
// wine: a console output code page, a named pipe, a file held open for writing. Each
// sets its thing up, runs the command line that follows, and exits with its exit code.
//
//   tovix_win_helper codepage <number> <program> <arguments...>
//   tovix_win_helper pipe <name> <file> <program> <arguments...>
//       serves the bytes of file on \\.\pipe\<name>, then closes its end
//   tovix_win_helper hold <file> <program> <arguments...>
//       holds file open for writing (others may read and write) while the program runs
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string command_line(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) line += ' ';
    line += '"';
    line += argv[i];
    line += '"';
  }
  return line;
}

PROCESS_INFORMATION start(int argc, char** argv) {
  std::string line = command_line(argc, argv);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "cannot start %s: error %lu\n", argv[0], GetLastError());
    std::exit(125);
  }
  return process;
}

int finish(const PROCESS_INFORMATION& process) {
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 125;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<int>(code);
}

std::vector<char> read_all(const char* name) {
  std::vector<char> bytes;
  FILE* f = std::fopen(name, "rb");
  if (f == nullptr) return bytes;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
    bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  return bytes;
}

int serve_pipe(const char* name, const char* file, int argc, char** argv) {
  const std::string path = std::string("\\\\.\\pipe\\") + name;
  const HANDLE pipe = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 65536,
                                       65536, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) return 126;
  const PROCESS_INFORMATION process = start(argc, argv);
  if (ConnectNamedPipe(pipe, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED) {
    const std::vector<char> bytes = read_all(file);
    DWORD put = 0;
    WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    FlushFileBuffers(pipe);
  }
  CloseHandle(pipe);  // the reader meets the end of the pipe here
  return finish(process);
}

int hold_file(const char* file, int argc, char** argv) {
  const HANDLE held = CreateFileA(file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 126;
  const int code = finish(start(argc, argv));
  CloseHandle(held);
  return code;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "codepage") == 0) {
    if (!SetConsoleOutputCP(static_cast<UINT>(std::atoi(argv[2])))) return 126;
    return finish(start(argc - 3, argv + 3));
  }
  if (argc >= 5 && std::strcmp(argv[1], "pipe") == 0)
    return serve_pipe(argv[2], argv[3], argc - 4, argv + 4);
  if (argc >= 4 && std::strcmp(argv[1], "hold") == 0) return hold_file(argv[2], argc - 3, argv + 3);
  std::fprintf(stderr, "usage: tovix_win_helper codepage|pipe|hold ...\n");
  return 125;
}
