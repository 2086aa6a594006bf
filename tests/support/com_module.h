#pragma once
// A COM server module as its clients meet it: loaded by name (from the test
// program's directory, where the build copies it), its exports looked up by
// name, its type library and version resource read from the file.
#include <windows.h>
#include <oaidl.h>

#include <string>
#include <utility>
#include <vector>

#include "support/com_ref.h"

namespace bidder::test {

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using HresultFn = HRESULT(WINAPI*)();

class LoadedModule {
 public:
  // A name or a path, with LoadLibraryExW's flags.
  explicit LoadedModule(const wchar_t* name, DWORD flags = 0) : module_(LoadLibraryExW(name, nullptr, flags)) {}
  ~LoadedModule() {
    if (module_) FreeLibrary(module_);
  }
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;

  HMODULE get() const { return module_; }
  explicit operator bool() const { return module_ != nullptr; }
  // An export by name as a function of type F, or null.
  template <class F>
  F Export(const char* name) const {
    return module_ ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name))) : nullptr;
  }
  // The file the module was loaded from.
  std::wstring Path() const;
  // The type library in the module's resources, not registered.
  HRESULT LoadTypeLibrary(Ref<ITypeLib>& library) const;

 private:
  HMODULE module_;
};

// The version resource of a file, as Explorer's property page reads it.
class VersionResource {
 public:
  explicit VersionResource(const std::wstring& path);
  bool Loaded() const { return !block_.empty(); }
  // The fixed part, or null.
  const VS_FIXEDFILEINFO* Fixed() const;
  // The language and code page pairs of \VarFileInfo\Translation.
  std::vector<std::pair<WORD, WORD>> Translations() const;
  // A value of \StringFileInfo\<table>\<name> (table e.g. L"040904b0"), or
  // "<missing>" when there is none.
  std::wstring String(const wchar_t* table, const wchar_t* name) const;

 private:
  std::vector<unsigned char> block_;
};

// What GetDocumentation tells of a type library (index -1: the library
// itself) or of a type's member (MEMBERID_NIL: the type itself).
struct Documentation {
  std::wstring name;
  std::wstring doc;
  std::wstring helpFile;
};
Documentation DocumentationOf(ITypeLib* library, INT index);
Documentation DocumentationOf(ITypeInfo* info, MEMBERID member = MEMBERID_NIL);

}  // namespace bidder::test
