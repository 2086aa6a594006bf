#pragma once
// Component categories through the system's component categories manager:
// defining a category (with its description for one locale) and entering a
// class as implementing it. Definitions are never removed: other classes may
// implement the same category.
#include <windows.h>

namespace ax {

// At most 127 characters of the description are kept.
HRESULT CreateComponentCategory(const GUID& category, LCID locale, const wchar_t* description) noexcept;
HRESULT RegisterClassInCategory(const CLSID& clsid, const GUID& category) noexcept;

}  // namespace ax
