#include "support/dispatch_call.h"

namespace bidder::test {

DispatchArgs::~DispatchArgs() {
  for (VARIANT& v : reversed_) VariantClear(&v);
}

DispatchArgs& DispatchArgs::Add(const VARIANT& value) {
  reversed_.insert(reversed_.begin(), value);
  return *this;
}

DispatchArgs& DispatchArgs::Text(std::wstring_view text) { return Add(TextVariant(text)); }

DispatchArgs& DispatchArgs::Number(long n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return Add(v);
}

VARIANT& DispatchArgs::operator[](std::size_t position) { return reversed_[reversed_.size() - 1 - position]; }

DISPPARAMS DispatchArgs::Params() {
  return {reversed_.empty() ? nullptr : reversed_.data(), nullptr, static_cast<UINT>(reversed_.size()), 0};
}

VARIANT TextVariant(std::wstring_view text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return v;
}

DISPID DispIdOf(IDispatch* object, const wchar_t* name, LCID locale, HRESULT* hr) {
  DISPID id = 12345;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  const HRESULT r = object->GetIDsOfNames(IID_NULL, names, 1, locale, &id);
  if (hr) *hr = r;
  return id;
}

HRESULT Invoke(IDispatch* object, DISPID id, DispatchArgs& args, VARIANT* result, WORD flags, UINT* argError) {
  DISPPARAMS params = args.Params();
  return object->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, argError);
}

}  // namespace bidder::test
