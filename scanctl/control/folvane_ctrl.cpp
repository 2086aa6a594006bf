#include "control/folvane_ctrl.h"

#include <string>

#include "axframework/call_guard.h"
#include "control/control_services.h"
#include "control/dispatch_table.h"

namespace folvane {

const ax::ControlInterfaceTable<1> CFolvaneCtrl::kInterfaces = ax::ControlInterfaces<CFolvaneCtrl, _DFolvane>(
    DIID__DFolvane, ax::Entry<CFolvaneCtrl, IConnectionPointContainer>(IID_IConnectionPointContainer));

namespace {

// 100 by 50 pixels on the screen, in HIMETRIC.
SIZEL DefaultExtent() {
  int dpiX = 96, dpiY = 96;
  if (HDC screen = GetDC(nullptr)) {
    dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  if (dpiX <= 0) dpiX = 96;
  if (dpiY <= 0) dpiY = 96;
  return {MulDiv(100, 2540, dpiX), MulDiv(50, 2540, dpiY)};
}

// The caller's text, every unit of it: the document information takes
// UTF-16, so no code page stands between the script and the PDF.
std::u16string Utf16(BSTR text) {
  if (!text) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

constexpr CLSID kPropertyPages[] = {kFolvanePropPageClsid};

}  // namespace

ControlServices& NewControlServices() {
  static ControlServices services{&SystemTwainManagerLibrary(), &SystemSessionUi()};
  return services;
}

// The session first, then the hook for this thread, the manager (there is no
// site yet, so the session falls back to the active window), and last the
// session published. None of these steps reports a failure: a control
// without hook or manager shows it when it is asked to scan.
CFolvaneCtrl::CFolvaneCtrl()
    : ax::TableDispatch<CFolvaneCtrl, _DFolvane>(DIID__DFolvane),
      ax::Control<CFolvaneCtrl>(DefaultExtent()),
      m_session(*NewControlServices().twain, *NewControlServices().ui),
      m_hookEntry(*this),
      m_hookThread(GetCurrentThreadId()) {
  m_hookAttached = AttachMessageHook(m_hookThread);
  try {
    m_session.OpenWithHostWindow(HostMainWindow());
  } catch (...) {  // the manager stays closed; scanning reports it
  }
  PublishHookSession(m_hookEntry);
}

CFolvaneCtrl::~CFolvaneCtrl() {
  WithdrawHookSession(m_hookEntry);
  if (m_hookAttached) DetachMessageHook(m_hookThread);
  EventPoint().Clear();
}

std::span<const CLSID> CFolvaneCtrl::PropertyPages() { return kPropertyPages; }

std::span<const ax::DispatchMethod<CFolvaneCtrl>> CFolvaneCtrl::DispatchTable() { return kFolvaneDispatchTable; }

void CFolvaneCtrl::OnDraw(HDC dc, const RECT& bounds) {
  FillRect(dc, &bounds, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  Ellipse(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
}

HWND CFolvaneCtrl::HostMainWindow() {
  ax::ControlState& state = ControlData();
  ax::ComPtr<IOleInPlaceSite> site = state.inPlaceSite;
  if (!site && state.clientSite) state.clientSite.As(site, IID_IOleInPlaceSite);
  HWND window = nullptr;
  if (!site || FAILED(site->GetWindow(&window)) || !window) return nullptr;
  HWND top = GetAncestor(window, GA_ROOT);
  return top ? top : window;
}

bool CFolvaneCtrl::HookEntry::HookMessage(MSG* message) {
  ax::CallGuard alive(owner_.Identity());
  return owner_.m_session.HookMessage(message);
}

void CFolvaneCtrl::ConvertToPDF(std::span<const BSTR> arguments) {
  PdfDocumentInfo info;
  info.unicode = PdfUnicodeInfo{Utf16(arguments[0]), Utf16(arguments[1]), Utf16(arguments[2]), Utf16(arguments[3])};
  m_session.ConvertToPDF(info, HostMainWindow());
}

void CFolvaneCtrl::PDFList(std::span<const BSTR>) {}

// A manager that could not be opened when the control was made (no window
// was active then) is opened now, with the window the control knows now.
void CFolvaneCtrl::EnsureManagerOpen() {
  if (!m_session.IsManagerOpen()) m_session.OpenWithHostWindow(HostMainWindow());
}

void CFolvaneCtrl::SelectScanner(std::span<const BSTR>) {
  EnsureManagerOpen();
  m_session.UserSelectSource();
}

void CFolvaneCtrl::ScanNewDocument(std::span<const BSTR>) {
  EnsureManagerOpen();
  m_session.StartScan();
}

void CFolvaneCtrl::ConvertToJPG(std::span<const BSTR>) { m_session.ConvertToJPG(HostMainWindow()); }

void CFolvaneCtrl::ReStart(std::span<const BSTR>) { m_session.DeletePages(); }

}  // namespace folvane
