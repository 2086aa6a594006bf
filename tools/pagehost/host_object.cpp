#include "host_object.h"

#include <cwctype>
#include <optional>
#include <string>

#include "page.h"
#include "report.h"

namespace pagehost {
namespace {

// The arguments of one call, first argument first (DISPPARAMS holds them in
// reverse order).
class Args {
 public:
  explicit Args(const DISPPARAMS* params) : params_(params) {}
  UINT Count() const { return params_ ? params_->cArgs : 0; }
  std::optional<std::wstring> Text(UINT i) const {
    VARIANT v = Converted(i, VT_BSTR);
    if (v.vt != VT_BSTR) return std::nullopt;
    std::wstring text(v.bstrVal ? v.bstrVal : L"", v.bstrVal ? SysStringLen(v.bstrVal) : 0);
    VariantClear(&v);
    return text;
  }
  std::optional<long> Number(UINT i) const {
    VARIANT v = Converted(i, VT_I4);
    if (v.vt != VT_I4) return std::nullopt;
    return v.lVal;
  }
  std::optional<bool> Flag(UINT i) const {
    VARIANT v = Converted(i, VT_BOOL);
    if (v.vt != VT_BOOL) return std::nullopt;
    return v.boolVal != VARIANT_FALSE;
  }
  // A script function object.
  IDispatch* Function(UINT i) const {
    const VARIANT& v = params_->rgvarg[params_->cArgs - 1 - i];
    if (v.vt == VT_DISPATCH) return v.pdispVal;
    if (v.vt == (VT_DISPATCH | VT_BYREF) && v.ppdispVal) return *v.ppdispVal;
    return nullptr;
  }

 private:
  VARIANT Converted(UINT i, VARTYPE type) const {
    VARIANT v;
    VariantInit(&v);
    if (FAILED(VariantChangeType(&v, &params_->rgvarg[params_->cArgs - 1 - i], 0, type))) VariantClear(&v);
    return v;
  }
  const DISPPARAMS* params_;
};

void SetText(VARIANT* result, const std::wstring& text) {
  if (!result) return;
  result->vt = VT_BSTR;
  result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void SetNumber(VARIANT* result, long n) {
  if (!result) return;
  result->vt = VT_I4;
  result->lVal = n;
}

void SetFlag(VARIANT* result, bool flag) {
  if (!result) return;
  result->vt = VT_BOOL;
  result->boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
}

std::wstring Joined(const std::vector<std::wstring>& lines) {
  std::wstring all;
  for (const std::wstring& line : lines) all += (all.empty() ? L"" : L"\n") + line;
  return all;
}

struct Method {
  const wchar_t* name;
  UINT arguments;
  HRESULT (*call)(Page& page, const Args& args, VARIANT* result);
};

// A text argument or a type mismatch, for the one-line handlers below.
#define PAGEHOST_TEXT(var, i)           \
  const auto var = args.Text(i);        \
  if (!var) return DISP_E_TYPEMISMATCH
#define PAGEHOST_NUMBER(var, i)         \
  const auto var = args.Number(i);      \
  if (!var || *var < 0) return DISP_E_TYPEMISMATCH

constexpr Method kMethods[] = {
    {L"log", 1, [](Page&, const Args& args, VARIANT*) -> HRESULT {
       PAGEHOST_TEXT(text, 0);
       Report::Line(*text);
       return S_OK;
     }},
    {L"check", 2, [](Page&, const Args& args, VARIANT* result) -> HRESULT {
       const auto condition = args.Flag(0);
       PAGEHOST_TEXT(what, 1);
       if (condition.value_or(false)) {
         Report::Line(L"ok: " + *what);
       } else {
         Report::Failure(*what);
       }
       SetFlag(result, condition.value_or(false));
       return S_OK;
     }},
    {L"pump", 1, [](Page& page, const Args& args, VARIANT*) -> HRESULT {
       PAGEHOST_NUMBER(ms, 0);
       page.Pump(static_cast<DWORD>(*ms));
       return S_OK;
     }},
    {L"pumpUntilPages", 2, [](Page& page, const Args& args, VARIANT* result) -> HRESULT {
       PAGEHOST_NUMBER(pages, 0);
       PAGEHOST_NUMBER(ms, 1);
       SetFlag(result, page.PumpUntilPages(static_cast<unsigned>(*pages), static_cast<DWORD>(*ms)));
       return S_OK;
     }},
    {L"pageFiles", 0, [](Page& page, const Args&, VARIANT* result) -> HRESULT {
       SetNumber(result, static_cast<long>(page.PageFiles()));
       return S_OK;
     }},
    {L"tempDirectory", 0, [](Page& page, const Args&, VARIANT* result) -> HRESULT {
       SetText(result, page.TempDirectory());
       return S_OK;
     }},
    {L"fullPath", 1, [](Page& page, const Args& args, VARIANT* result) -> HRESULT {
       PAGEHOST_TEXT(path, 0);
       SetText(result, page.FullPath(*path));
       return S_OK;
     }},
    {L"fileExists", 1, [](Page& page, const Args& args, VARIANT* result) -> HRESULT {
       PAGEHOST_TEXT(path, 0);
       SetFlag(result, GetFileAttributesW(page.FullPath(*path).c_str()) != INVALID_FILE_ATTRIBUTES);
       return S_OK;
     }},
    {L"answerSaveAs", 1, [](Page& page, const Args& args, VARIANT*) -> HRESULT {
       PAGEHOST_TEXT(path, 0);
       page.Dialogs().ExpectSaveAs(page.FullPath(*path));
       return S_OK;
     }},
    {L"answerSelection", 1, [](Page& page, const Args& args, VARIANT*) -> HRESULT {
       PAGEHOST_TEXT(name, 0);
       page.Dialogs().ExpectSelection(*name);
       return S_OK;
     }},
    {L"cancelNextDialog", 0, [](Page& page, const Args&, VARIANT*) -> HRESULT {
       page.Dialogs().ExpectCancel();
       return S_OK;
     }},
    {L"atNextDialog", 1, [](Page& page, const Args& args, VARIANT*) -> HRESULT {
       IDispatch* function = args.Function(0);
       if (!function) return DISP_E_TYPEMISMATCH;
       ax::ComPtr<IDispatch> held(function);
       page.Dialogs().AtNextDialog([&page, held] { page.CallFromLoop(held.Get()); });
       return S_OK;
     }},
    {L"setTimeout", 2, [](Page& page, const Args& args, VARIANT*) -> HRESULT {
       IDispatch* function = args.Function(0);
       PAGEHOST_NUMBER(ms, 1);
       if (!function) return DISP_E_TYPEMISMATCH;
       page.SetTimeout(function, static_cast<UINT>(*ms));
       return S_OK;
     }},
    {L"messages", 0, [](Page& page, const Args&, VARIANT* result) -> HRESULT {
       SetText(result, Joined(page.Dialogs().Messages()));
       return S_OK;
     }},
    {L"dialogs", 0, [](Page& page, const Args&, VARIANT* result) -> HRESULT {
       SetText(result, Joined(page.Dialogs().Dialogs()));
       return S_OK;
     }},
    {L"clearRecords", 0, [](Page& page, const Args&, VARIANT*) -> HRESULT {
       page.Dialogs().ClearRecords();
       return S_OK;
     }},
    {L"holdOpen", 1, [](Page& page, const Args& args, VARIANT* result) -> HRESULT {
       PAGEHOST_TEXT(path, 0);
       SetFlag(result, page.HoldOpen(page.FullPath(*path)));
       return S_OK;
     }},
    {L"closeHeld", 0, [](Page& page, const Args&, VARIANT*) -> HRESULT {
       page.CloseHeld();
       return S_OK;
     }},
    {L"setScanner", 2, [](Page&, const Args& args, VARIANT*) -> HRESULT {
       PAGEHOST_TEXT(key, 0);
       PAGEHOST_TEXT(value, 1);
       std::wstring name = L"VSCAN_";
       for (wchar_t c : *key) name += static_cast<wchar_t>(std::towupper(c));
       SetEnvironmentVariableW(name.c_str(), value->c_str());
       return S_OK;
     }},
    {L"markedSafe", 1, [](Page& page, const Args& args, VARIANT* result) -> HRESULT {
       PAGEHOST_TEXT(item, 0);
       const AtlSite* site = page.Site(*item);
       SetText(result, site ? site->MarkedSafe() : L"");
       return S_OK;
     }},
    {L"release", 0, [](Page& page, const Args&, VARIANT*) -> HRESULT {
       page.ReleaseControl();
       return S_OK;
     }},
};

#undef PAGEHOST_TEXT
#undef PAGEHOST_NUMBER

}  // namespace

HRESULT HostObject::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!InlineIsEqualGUID(iid, IID_IUnknown) && !InlineIsEqualGUID(iid, IID_IDispatch)) return E_NOINTERFACE;
  *out = static_cast<IDispatch*>(this);
  return S_OK;
}

HRESULT HostObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT HostObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT HostObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (std::size_t m = 0; m < std::size(kMethods); ++m) {
    if (names[0] && std::wstring_view(names[0]) == kMethods[m].name) {
      ids[0] = static_cast<DISPID>(m + 1);
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;  // methods have no named arguments
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT HostObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                           UINT* argError) {
  if (id < 1 || static_cast<std::size_t>(id) > std::size(kMethods)) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  const Method& method = kMethods[id - 1];
  if (!params || params->cArgs != method.arguments) return DISP_E_BADPARAMCOUNT;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (argError) *argError = 0;
  if (result) VariantInit(result);
  return method.call(page_, Args(params), result);
}

}  // namespace pagehost
