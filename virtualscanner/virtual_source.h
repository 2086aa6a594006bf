#pragma once
// The virtual scanner's TWAIN side: one source, driven by the data source
// manager through DS_Entry, delivering the pages of page_pattern.h by native
// transfer. Its states are TWAIN's: 3 closed, 4 open, 5 enabled, 6 transfer
// ready, 7 transferring.
#include "settings.h"
#include "twain/twain_api.h"

namespace vscan {

class VirtualSource {
 public:
  explicit VirtualSource(HMODULE module) : module_(module) {}

  TW_UINT16 Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

  // From the source's window.
  void StartScan();      // the user pressed Scan (or autoscan)
  void RequestClose();   // the user closed the window
  void ReportScanDone();

  const Settings& CurrentSettings() const { return settings_; }
  int State() const { return state_; }

 private:
  TW_UINT16 Dispatch(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 Identity(pTW_IDENTITY origin, TW_UINT16 msg, pTW_IDENTITY identity);
  TW_UINT16 Capability(TW_UINT16 msg, pTW_CAPABILITY capability);
  TW_UINT16 UserInterface(TW_UINT16 msg, pTW_USERINTERFACE ui);
  TW_UINT16 PendingTransfers(TW_UINT16 msg, pTW_PENDINGXFERS pending);
  TW_UINT16 ImageInfo(pTW_IMAGEINFO info);
  TW_UINT16 NativeTransfer(TW_HANDLE* handle);
  TW_UINT16 Fail(TW_UINT16 conditionCode);
  void Signal(TW_UINT16 msg);
  void Log(const char* line);
  int PagesToDeliver() const;

  HMODULE module_;
  Settings settings_;
  int state_ = 3;
  TW_IDENTITY app_{};
  TW_IDENTITY self_{};
  pTW_IDENTITY openedAs_ = nullptr;  // the record the manager named us in
  TW_INT16 transferCount_ = -1;
  int remaining_ = 0;           // transfers pending in this scan
  int pageInScan_ = 0;          // the current transfer, from 0
  std::uint32_t delivered_ = 0;  // pictures shown since the source was opened
  TW_UINT16 conditionCode_ = TWCC_SUCCESS;
  HWND window_ = nullptr;
};

// The one source of this module.
VirtualSource& TheSource();
void FillIdentity(TW_IDENTITY& identity);

// The source's window (source_window.cpp).
HWND CreateSourceWindow(HMODULE module, HWND parent, VirtualSource& source);
void PostStartScan(HWND window);
void PostCloseRequest(HWND window);
void DestroySourceWindow(HWND window);

}  // namespace vscan
