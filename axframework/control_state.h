#pragma once
// What the OLE control interfaces of one control object share: its extent,
// its container's site and sinks, and its in-place state.
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <oleidl.h>

#include "com_ptr.h"

namespace ax {

struct ControlState {
  explicit ControlState(SIZEL defaultSize) : defaultExtent(defaultSize), extent(defaultSize) {}

  SIZEL defaultExtent;  // HIMETRIC
  SIZEL extent;         // HIMETRIC, the persisted state
  bool dirty = false;

  ComPtr<IOleClientSite> clientSite;
  ComPtr<IOleAdviseHolder> oleAdviseHolder;
  ComPtr<IDataAdviseHolder> dataAdviseHolder;
  ComPtr<IAdviseSink> viewSink;
  DWORD viewAspects = 0;
  DWORD viewAdviseFlags = 0;

  ComPtr<IOleInPlaceSite> inPlaceSite;
  ComPtr<IOleInPlaceFrame> frame;          // told of the UI-active object
  ComPtr<IOleInPlaceUIWindow> document;    // likewise, when the container has one
  HWND window = nullptr;                   // own window, in a windowed container only
  bool windowless = false;
  bool inPlaceActive = false;
  bool uiActive = false;
  RECT position{};  // in the container's window, pixels
  LONG freezeCount = 0;
};

}  // namespace ax
