#include <io.h>
#include <windows.h>

#include "cipher/same_file.h"

namespace lockvale {

bool NamesOpenFile(std::FILE* open, const std::string& path) {
  const auto openHandle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(open)));
  BY_HANDLE_FILE_INFORMATION opened{}, named{};
  if (openHandle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(openHandle, &opened)) return false;

  // No access rights: this only asks for the file's identity, and works even
  // where the file is locked for reading.
  HANDLE namedHandle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (namedHandle == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = GetFileInformationByHandle(namedHandle, &named);
  CloseHandle(namedHandle);
  return ok && opened.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         opened.nFileIndexHigh == named.nFileIndexHigh && opened.nFileIndexLow == named.nFileIndexLow;
}

bool IsOpenDirectory(std::FILE* open) {
  const auto openHandle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(open)));
  BY_HANDLE_FILE_INFORMATION opened{};
  return openHandle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(openHandle, &opened) &&
         (opened.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace lockvale
