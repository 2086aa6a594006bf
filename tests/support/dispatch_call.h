#pragma once
// Late-bound calls as a script engine makes them: names looked up with
// GetIDsOfNames, arguments given first to last and handed to Invoke the other
// way round (DISPPARAMS holds the last argument first).
#include <windows.h>
#include <oaidl.h>

#include <string_view>
#include <vector>

namespace bidder::test {

// The arguments of one call; owns its VARIANTs and clears them.
class DispatchArgs {
 public:
  DispatchArgs() = default;
  ~DispatchArgs();
  DispatchArgs(const DispatchArgs&) = delete;
  DispatchArgs& operator=(const DispatchArgs&) = delete;

  // Appends the next argument (taking ownership of what it holds).
  DispatchArgs& Add(const VARIANT& value);
  DispatchArgs& Text(std::wstring_view text);
  DispatchArgs& Number(long n);
  // The argument at `position` in call order (0: the first).
  VARIANT& operator[](std::size_t position);
  std::size_t Count() const { return reversed_.size(); }
  // Valid while the arguments are neither added to nor destroyed.
  DISPPARAMS Params();

 private:
  std::vector<VARIANT> reversed_;  // last argument first, as Invoke takes them
};

// A string VARIANT (owned by the caller, or by DispatchArgs::Add).
VARIANT TextVariant(std::wstring_view text);

// The DISPID of a name (12345 when the call left it alone); the call's result in *hr.
DISPID DispIdOf(IDispatch* object, const wchar_t* name, LCID locale = 0, HRESULT* hr = nullptr);

// Invokes a member; `result` may be null, `argError` gets what Invoke says of
// a bad argument.
HRESULT Invoke(IDispatch* object, DISPID id, DispatchArgs& args, VARIANT* result = nullptr,
               WORD flags = DISPATCH_METHOD, UINT* argError = nullptr);

}  // namespace bidder::test
