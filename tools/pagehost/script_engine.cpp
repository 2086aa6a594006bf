#include "script_engine.h"

#include "report.h"

namespace pagehost {
namespace {

// Wine's JScript engine, as a page's <script language="JScript"> names it.
const CLSID kJScript = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};

}  // namespace

ScriptEngine::ScriptEngine(HWND pageWindow) : pageWindow_(pageWindow) {}

ScriptEngine::~ScriptEngine() { Close(); }

bool ScriptEngine::Start() {
  HRESULT hr = CoCreateInstance(kJScript, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActiveScript), engine_.PutVoid());
  if (FAILED(hr)) return Report::Failure(L"the JScript engine cannot be created: " + Report::Hr(hr)), false;
  hr = engine_.As(parse_, __uuidof(IActiveScriptParse));
  if (SUCCEEDED(hr)) hr = engine_->SetScriptSite(this);
  if (SUCCEEDED(hr)) hr = parse_->InitNew();
  if (SUCCEEDED(hr)) hr = engine_->SetScriptState(SCRIPTSTATE_CONNECTED);
  if (FAILED(hr)) return Report::Failure(L"the JScript engine cannot be started: " + Report::Hr(hr)), false;
  return true;
}

bool ScriptEngine::AddItem(const std::wstring& name, IUnknown* item) {
  if (!engine_) return false;
  items_[name] = ax::ComPtr<IUnknown>(item);
  const HRESULT hr = engine_->AddNamedItem(name.c_str(), SCRIPTITEM_ISVISIBLE);
  if (FAILED(hr)) return Report::Failure(L"named item " + name + L" refused: " + Report::Hr(hr)), false;
  return true;
}

bool ScriptEngine::Run(const std::wstring& text, unsigned firstLine, Source source) {
  if (!parse_) return Report::Failure(L"no script engine to run the step"), false;
  const int errorsBefore = errors_;
  EXCEPINFO exception{};
  const HRESULT hr = parse_->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, static_cast<DWORD>(source),
                                             firstLine, SCRIPTTEXT_ISVISIBLE, nullptr, &exception);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  if (FAILED(hr) && errors_ == errorsBefore) {
    // An engine that did not report through OnScriptError still fails the step.
    ++errors_;
    Report::Failure(L"script step failed: " + Report::Hr(hr));
  }
  return SUCCEEDED(hr) && errors_ == errorsBefore;
}

bool ScriptEngine::CallFunction(IDispatch* function) {
  const int errorsBefore = errors_;
  DISPPARAMS none{};
  EXCEPINFO exception{};
  const HRESULT hr = function->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, &exception, nullptr);
  if (FAILED(hr) && errors_ == errorsBefore) {
    ++errors_;
    Report::Failure(L"script function failed: " + Report::Hr(hr) + L" " +
                    (exception.bstrDescription ? exception.bstrDescription : L""));
  }
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return SUCCEEDED(hr) && errors_ == errorsBefore;
}

void ScriptEngine::Close() {
  if (!engine_) return;
  // Hold the engine while it closes: Close may run script teardown that
  // reaches back here.
  ax::ComPtr<IActiveScript> engine = std::move(engine_);
  ax::ComPtr<IActiveScriptParse> parse = std::move(parse_);
  engine->Close();
  parse.Reset();
  engine.Reset();
  items_.clear();
}

HRESULT ScriptEngine::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (InlineIsEqualGUID(iid, IID_IUnknown) || InlineIsEqualGUID(iid, __uuidof(IActiveScriptSite))) {
    *out = static_cast<IActiveScriptSite*>(this);
  } else if (InlineIsEqualGUID(iid, __uuidof(IActiveScriptSiteWindow))) {
    *out = static_cast<IActiveScriptSiteWindow*>(this);
  } else {
    return E_NOINTERFACE;
  }
  return S_OK;
}

HRESULT ScriptEngine::GetLCID(LCID* lcid) {
  if (!lcid) return E_POINTER;
  *lcid = GetUserDefaultLCID();
  return S_OK;
}

HRESULT ScriptEngine::GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** info) {
  if (item) *item = nullptr;
  if (info) *info = nullptr;
  const auto it = name ? items_.find(name) : items_.end();
  if (it == items_.end()) return TYPE_E_ELEMENTNOTFOUND;
  if (mask & SCRIPTINFO_IUNKNOWN) {
    if (!item) return E_POINTER;
    it->second.CopyTo(item);
  }
  if (mask & SCRIPTINFO_ITYPEINFO) {
    // Only event sources need it; the page's items bind no events.
    if (!(mask & SCRIPTINFO_IUNKNOWN)) return TYPE_E_ELEMENTNOTFOUND;
  }
  return S_OK;
}

HRESULT ScriptEngine::GetDocVersionString(BSTR* version) {
  if (version) *version = nullptr;
  return E_NOTIMPL;
}

HRESULT ScriptEngine::OnScriptError(IActiveScriptError* error) {
  ++errors_;
  EXCEPINFO exception{};
  DWORD context = 0;
  ULONG line = 0;
  LONG column = 0;
  BSTR source = nullptr;
  if (error) {
    error->GetExceptionInfo(&exception);
    error->GetSourcePosition(&context, &line, &column);
    error->GetSourceLineText(&source);
  }
  const bool inPrelude = context == static_cast<DWORD>(Source::kPrelude);
  std::wstring text = std::wstring(inPrelude ? L"script error in the host's prelude" : L"script error") + L" at line " +
                     std::to_wstring(line + 1) + L", column " + std::to_wstring(column + 1) + L": " +
                     (exception.bstrDescription ? exception.bstrDescription : L"(no description)");
  if (source) text += L"\n    " + std::wstring(source);
  Report::Failure(text);
  SysFreeString(source);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return S_OK;
}

HRESULT ScriptEngine::OnEnterScript() {
  ++depth_;
  return S_OK;
}

HRESULT ScriptEngine::OnLeaveScript() {
  if (depth_ > 0) --depth_;
  return S_OK;
}

HRESULT ScriptEngine::GetWindow(HWND* window) {
  if (!window) return E_POINTER;
  *window = pageWindow_;
  return S_OK;
}

}  // namespace pagehost
