#include "session/twain/twain_session.h"

#include <cstring>

#include "session/twain/global_memory.h"

namespace {

void CopyText(TW_STR32& field, const char* text) {
  std::strncpy(field, text, sizeof(field) - 1);
}

}  // namespace

CTwainSession::CTwainSession(HWND parent, const folvane::TwainManagerLibrary& library) : m_library(library) {
  if (parent) OpenManager(parent);
}

CTwainSession::~CTwainSession() { ReleaseManager(); }

void CTwainSession::FillIdentity() {
  m_appIdentity.Id = 0;
  m_appIdentity.Version.MajorNum = 1;
  m_appIdentity.Version.MinorNum = 0;
  m_appIdentity.Version.Language = TWLG_USA;
  m_appIdentity.Version.Country = TWCY_USA;
  CopyText(m_appIdentity.Version.Info, "1.0");
  m_appIdentity.ProtocolMajor = 1;
  m_appIdentity.ProtocolMinor = 8;
  m_appIdentity.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyText(m_appIdentity.Manufacturer, "Brenn");
  CopyText(m_appIdentity.ProductFamily, "Generic");
  CopyText(m_appIdentity.ProductName, "Quendle");
}

bool CTwainSession::CallManager(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                                TW_UINT16 msg, TW_MEMREF data) {
  if (!IsManagerLoaded()) {
    m_lastResult = TWRC_FAILURE;
    return false;
  }
  m_lastResult = m_pfnEntry(origin, destination, dg, dat, msg, data);
  if (m_lastResult != TWRC_SUCCESS) RequestStatus(origin, destination);
  return m_lastResult == TWRC_SUCCESS;
}

void CTwainSession::RequestStatus(pTW_IDENTITY origin, pTW_IDENTITY destination) {
  // TWAIN has an application ask for the condition code after a failure; the
  // session acts on return codes alone, so the answer is not kept.
  TW_STATUS status{};
  m_pfnEntry(origin, destination, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
}

TW_UINT16 CTwainSession::CallManagerRaw(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg,
                                        TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  // Only reached while a source is enabled, but a session must never call
  // through a null entry point.
  if (!IsManagerLoaded()) return TWRC_FAILURE;
  const TW_UINT16 result = m_pfnEntry(origin, destination, dg, dat, msg, data);
  // TWRC_NOTDSEVENT is the ordinary answer to an event: no status for it.
  if (result != TWRC_SUCCESS && dat != DAT_EVENT) RequestStatus(origin, destination);
  return result;
}

bool CTwainSession::OpenManager(HWND parent) {
  if (IsManagerLoaded()) return true;
  m_appIdentity = TW_IDENTITY{};
  if (!IsWindow(parent)) return false;
  m_hParent = parent;
  m_hManager = m_library.Load();
  if (m_hManager) {
    m_pfnEntry = m_library.EntryPoint(m_hManager);
    if (!m_pfnEntry) {
      m_library.Free(m_hManager);
      m_hManager = nullptr;
    }
  }
  if (!IsManagerLoaded()) return false;
  FillIdentity();
  m_managerOpen = CallManager(&m_appIdentity, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &m_hParent);
  return true;
}

void CTwainSession::ReleaseManager() {
  if (!IsManagerLoaded()) return;
  CloseManager();
  m_library.Free(m_hManager);
  m_hManager = nullptr;
  m_pfnEntry = nullptr;
  // Whatever the source would not confirm, nothing of it is left to address.
  m_sourceOpen = false;
  m_sourceEnabled = false;
}

void CTwainSession::CloseManager() {
  if (!IsManagerOpen()) return;
  CloseSource();
  CallManager(&m_appIdentity, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &m_hParent);
  m_managerOpen = false;
}

bool CTwainSession::IsManagerLoaded() const { return m_hManager != nullptr && m_pfnEntry != nullptr; }
bool CTwainSession::IsManagerOpen() const { return IsManagerLoaded() && m_managerOpen; }
bool CTwainSession::IsSourceOpen() const { return IsManagerOpen() && m_sourceOpen; }

TW_IDENTITY& CTwainSession::ChoiceRecord() {
  if (!m_sourceOpen) return m_sourceIdentity;
  // The open source is addressed through m_sourceIdentity until it is closed.
  m_nextSourcePending = true;
  return m_nextSourceIdentity;
}

bool CTwainSession::LookUpDefaultSource(TW_IDENTITY& record) {
  m_sourceChosen = CallManager(&m_appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &record);
  return m_sourceChosen;
}

bool CTwainSession::GetDefaultSource() { return LookUpDefaultSource(ChoiceRecord()); }

bool CTwainSession::UserSelectSource() {
  TW_IDENTITY& record = ChoiceRecord();
  record = TW_IDENTITY{};
  if (!m_sourceChosen) LookUpDefaultSource(record);
  if (CallManager(&m_appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &record)) {
    m_sourceChosen = true;
  }
  return m_sourceChosen;
}

bool CTwainSession::OpenSource(const TW_IDENTITY* source) {
  if (m_sourceOpen) {
    // One source at a time: the open one keeps its identity, a given one
    // waits for the next opening.
    if (source) ChoiceRecord() = *source;
    return IsSourceOpen();
  }
  if (source) {
    m_sourceIdentity = *source;
  } else if (m_nextSourcePending) {
    m_sourceIdentity = m_nextSourceIdentity;
  }
  m_nextSourcePending = false;
  if (IsManagerOpen()) {
    if (!m_sourceChosen) GetDefaultSource();
    // Sent even without a default source: the manager then names the failure.
    m_sourceOpen = CallManager(&m_appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &m_sourceIdentity);
  }
  return IsSourceOpen();
}

void CTwainSession::CloseSource() {
  if (!IsSourceOpen()) return;
  DisableSource();
  // Asked even when disabling failed; a manager that refuses (as TWAIN does
  // in state 5) leaves the source open, for a later close to try again.
  if (CallManager(&m_appIdentity, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &m_sourceIdentity)) {
    m_sourceOpen = false;
    m_sourceEnabled = false;
  }
}

int CTwainSession::DecideTransfer(const TW_IMAGEINFO&) { return 0; }

bool CTwainSession::GetCapability(TW_CAPABILITY& capability, TW_UINT16 cap, TW_UINT16 containerType) {
  if (!IsSourceOpen()) return false;
  capability.Cap = cap;
  capability.ConType = containerType;
  capability.hContainer = nullptr;
  return CallManager(&m_appIdentity, &m_sourceIdentity, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability);
}

bool CTwainSession::GetCapabilityValue(TW_UINT16 cap, TW_UINT32& value) {
  TW_CAPABILITY capability{};
  if (!GetCapability(capability, cap, TWON_DONTCARE16)) return false;
  // The container is ours once the source has returned it.
  folvane::GlobalBlock container(capability.hContainer);
  folvane::GlobalLockGuard lock(container.get());
  // The item follows the 16-bit item type whatever the container type; a
  // block too small to hold it is refused rather than read past its end.
  if (!lock || lock.size() < sizeof(TW_ONEVALUE)) return false;
  std::memcpy(&value, static_cast<const char*>(lock.data()) + offsetof(TW_ONEVALUE, Item), sizeof(value));
  return true;
}

bool CTwainSession::SetCapability(TW_UINT16 cap, TW_UINT16 value, bool isSigned) {
  if (!IsSourceOpen()) return false;
  folvane::GlobalBlock container = folvane::GlobalBlock::Allocate(GHND, sizeof(TW_ONEVALUE));
  if (!container) return false;
  {
    folvane::GlobalLockGuard lock(container.get());
    if (!lock) return false;
    auto* one = static_cast<TW_ONEVALUE*>(lock.data());
    one->ItemType = isSigned ? TWTY_INT16 : TWTY_UINT16;
    one->Item = value;  // zero-extended: -1 travels as 0x0000FFFF
  }
  TW_CAPABILITY capability{};
  capability.Cap = cap;
  capability.ConType = TWON_ONEVALUE;
  capability.hContainer = container.get();
  return CallManager(&m_appIdentity, &m_sourceIdentity, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
}

bool CTwainSession::SetTransferCount(TW_INT16 count) {
  if (SetCapability(CAP_XFERCOUNT, static_cast<TW_UINT16>(count), true)) return true;
  // The source took a value of its own: read it back and confirm it.
  if (m_lastResult == TWRC_CHECKSTATUS) {
    TW_UINT32 held = 0;
    return GetCapabilityValue(CAP_XFERCOUNT, held) &&
           SetCapability(CAP_XFERCOUNT, static_cast<TW_UINT16>(held), false);
  }
  return false;
}

bool CTwainSession::EnableSource(bool showInterface) {
  if (!IsSourceOpen() || m_sourceEnabled) return false;
  TW_USERINTERFACE ui{};
  ui.ShowUI = showInterface ? TRUE : FALSE;
  ui.hParent = m_hParent;
  m_sourceEnabled = CallManager(&m_appIdentity, &m_sourceIdentity, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  return m_sourceEnabled;
}

bool CTwainSession::DisableSource() {
  if (!m_sourceEnabled) return false;
  TW_USERINTERFACE ui{};
  if (!CallManager(&m_appIdentity, &m_sourceIdentity, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui)) {
    return false;
  }
  m_sourceEnabled = false;
  return true;
}

bool CTwainSession::Acquire(TW_INT32 count) {
  if (!IsSourceOpen() && !OpenSource()) return false;
  if (!SetTransferCount(static_cast<TW_INT16>(count))) return false;
  return EnableSource(true);
}

bool CTwainSession::ProcessEvent(MSG message) {
  if (!m_sourceEnabled) return false;
  TW_EVENT event{};
  event.pEvent = &message;
  event.TWMessage = MSG_NULL;
  const TW_UINT16 result =
      CallManagerRaw(&m_appIdentity, &m_sourceIdentity, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
  HandleSourceMessage(event);
  return result == TWRC_DSEVENT;
}

void CTwainSession::HandleSourceMessage(const TW_EVENT& event) {
  switch (event.TWMessage) {
    case MSG_XFERREADY:
      TransferImages();
      break;
    case MSG_CLOSEDSREQ:
      CloseSource();
      break;
    default:
      break;
  }
}

void CTwainSession::TransferImages() {
  try {
    TransferPendingImages();
  } catch (...) {
    EndTransfersAfterFault();
    throw;
  }
}

void CTwainSession::EndTransfersAfterFault() {
  // An image in hand (state 7) must be ended before anything else; MSG_RESET
  // then gives up what is still pending (state 6 to 5).
  const bool pending = m_imageInHand ? EndTransfer() : true;
  if (pending && m_sourceEnabled) ResetTransfers();
}

void CTwainSession::TransferPendingImages() {
  bool more = true;
  while (more) {
    TW_IMAGEINFO info{};
    if (!GetImageInfo(info)) {
      // Asking again would get the same answer for ever: give up the pending
      // transfers so that the source returns to state 5.
      if (m_sourceEnabled) ResetTransfers();
      return;
    }
    switch (DecideTransfer(info)) {
      case 0:
        more = TransferNative(info);
        break;
      case 1:
        more = EndTransfer();
        break;
      case 2:
        ResetTransfers();
        return;
      default:
        break;
    }
  }
}

bool CTwainSession::GetImageInfo(TW_IMAGEINFO& info) {
  if (!m_sourceEnabled) return false;
  return CallManager(&m_appIdentity, &m_sourceIdentity, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
}

bool CTwainSession::TransferNative(const TW_IMAGEINFO& info) {
  TW_HANDLE dib = nullptr;  // pointer-sized, whatever TWAIN 1.x says
  CallManager(&m_appIdentity, &m_sourceIdentity, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
  // Ours whatever the code: a source may hand over a block with a failure too.
  folvane::GlobalBlock delivered(dib);
  if (m_lastResult == TWRC_FAILURE) {
    ResetTransfers();
    return false;
  }
  m_imageInHand = true;
  if (m_lastResult == TWRC_XFERDONE) OnImageReceived(delivered.get(), info);
  delivered.Reset();
  return EndTransfer();
}

bool CTwainSession::EndTransfer() {
  m_imageInHand = false;
  TW_PENDINGXFERS pending{};
  const bool ok =
      CallManager(&m_appIdentity, &m_sourceIdentity, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
  // 0xFFFF stands for "unknown", which also means more.
  return ok && pending.Count != 0;
}

void CTwainSession::ResetTransfers() {
  TW_PENDINGXFERS pending{};
  CallManager(&m_appIdentity, &m_sourceIdentity, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}
