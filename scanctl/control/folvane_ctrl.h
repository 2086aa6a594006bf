#pragma once
// CFolvaneCtrl: the scanning control as a COM object. A thin shell around its
// one scan session: it installs the thread's message hook, opens the TWAIN
// manager, publishes itself to the hook and forwards each method of
// _DFolvane to the session. It has no properties, fires no events, is
// invisible at run time and draws a placeholder at design time.
//
// A page may release the control at any moment, also from inside one of the
// control's own calls (a script run from the scanner's message loop): every
// hook call and every dispatch call holds a reference and the module, so the
// session, the manager's library and the hook go only when the outermost
// call has returned.
#include <windows.h>

#include <span>

#include "axframework/connection_point.h"
#include "axframework/control.h"
#include "axframework/table_dispatch.h"
#include "folvane_idl.h"
#include "session/message_hook.h"
#include "session/scan_session.h"

namespace folvane {

// {0A56645C-3C91-4211-9BCB-E8ABB09C76F8}
inline constexpr CLSID kFolvanePropPageClsid = {
    0x0a56645c, 0x3c91, 0x4211, {0x9b, 0xcb, 0xe8, 0xab, 0xb0, 0x9c, 0x76, 0xf8}};

class CFolvaneCtrl : public ax::TableDispatch<CFolvaneCtrl, _DFolvane>,
                     public ax::Control<CFolvaneCtrl>,
                     public ax::ConnectionPointContainerImpl<CFolvaneCtrl> {
 public:
  static const ax::ControlInterfaceTable<1> kInterfaces;
  static constexpr DWORD kMiscStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME | OLEMISC_INSIDEOUT |
                                       OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
  // Major 1, minor 0: the type library's version.
  static constexpr DWORD kPersistedVersion = 0x00010000;
  // "Folvane Control", the module's string 1.
  static constexpr UINT kUserTypeNameId = 1;

  CFolvaneCtrl();
  // The hook goes first, then the session (page files deleted, manager released).
  ~CFolvaneCtrl();

  static const CLSID& ClassId() { return CLSID_Folvane; }
  static ax::TypeLibraryId TypeLibrary() { return {&LIBID_FOLVANELib, 1, 0}; }
  static const IID* EventInterface() { return &DIID__DFolvaneEvents; }
  static std::span<const CLSID> PropertyPages();
  static std::span<const ax::DispatchMethod<CFolvaneCtrl>> DispatchTable();
  void OnDraw(HDC dc, const RECT& bounds);

  // The methods of _DFolvane, as the dispatch table calls them.
  void ConvertToPDF(std::span<const BSTR> arguments);
  void PDFList(std::span<const BSTR> arguments);
  void SelectScanner(std::span<const BSTR> arguments);
  void ScanNewDocument(std::span<const BSTR> arguments);
  void ConvertToJPG(std::span<const BSTR> arguments);
  void ReStart(std::span<const BSTR> arguments);

 private:
  // What the control publishes to the hook: the session, held alive for the
  // length of each call.
  class HookEntry final : public HookClient {
   public:
    explicit HookEntry(CFolvaneCtrl& owner) : owner_(owner) {}
    ~HookEntry() = default;
    bool IsSourceEnabled() override { return owner_.m_session.IsSourceEnabled(); }
    bool HookMessage(MSG* message) override;

   private:
    CFolvaneCtrl& owner_;
  };

  IUnknown* Identity() { return static_cast<_DFolvane*>(this); }
  void EnsureManagerOpen();
  // The container's top-level window, when the control knows its site; null otherwise.
  HWND HostMainWindow();

  CScanSession m_session;
  HookEntry m_hookEntry;
  DWORD m_hookThread;
  bool m_hookAttached = false;
};

}  // namespace folvane
