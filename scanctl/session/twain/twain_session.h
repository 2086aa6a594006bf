#pragma once
// A TWAIN session with the data source manager and one source, taking images
// by native transfer only. Everything runs on the thread that owns the
// session; the TWAIN state lives in the library handle and the four flags:
//   1 manager not loaded      m_hManager null
//   2 loaded, not open        m_hManager set, m_managerOpen clear
//   3 manager open            m_managerOpen
//   4 source open             m_sourceOpen
//   5 source enabled          m_sourceEnabled
//   6-7 transfers             only inside TransferImages
// The source flags change only on what the manager confirmed: a source that
// refuses to be disabled or closed stays enabled or open, and a later close
// (another close request, the destructor) tries again.
#include "session/twain/manager_library.h"

class CTwainSession {
 public:
  // With a parent window the manager is opened at once.
  explicit CTwainSession(HWND parent = nullptr,
                         const folvane::TwainManagerLibrary& library = folvane::SystemTwainManagerLibrary());
  CTwainSession(const CTwainSession&) = delete;
  CTwainSession& operator=(const CTwainSession&) = delete;

  virtual ~CTwainSession();
  bool UserSelectSource();
  bool OpenSource(const TW_IDENTITY* source = nullptr);
  // For each pending image: 0 transfers it, 1 skips it, 2 cancels all pending.
  virtual int DecideTransfer(const TW_IMAGEINFO& info);
  bool DisableSource();
  // A completed native transfer; the DIB stays the caller's.
  virtual void OnImageReceived(HANDLE dib, const TW_IMAGEINFO& info) = 0;

  // Every call except event processing: true on TWRC_SUCCESS; any other code
  // is followed by a status request, as TWAIN asks of an application.
  bool CallManager(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                   TW_MEMREF data);
  // Event processing: the raw code, no status request for DAT_EVENT.
  TW_UINT16 CallManagerRaw(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                           TW_UINT16 msg, TW_MEMREF data);

  bool OpenManager(HWND parent);
  void ReleaseManager();
  void CloseManager();
  bool IsManagerLoaded() const;
  bool IsManagerOpen() const;
  bool IsSourceOpen() const;

  // While a source is open its identity keeps addressing it: a source chosen
  // meanwhile is kept for the next OpenSource.
  bool GetDefaultSource();
  void CloseSource();

  bool GetCapability(TW_CAPABILITY& capability, TW_UINT16 cap, TW_UINT16 containerType);
  bool GetCapabilityValue(TW_UINT16 cap, TW_UINT32& value);
  bool SetCapability(TW_UINT16 cap, TW_UINT16 value, bool isSigned);
  bool SetTransferCount(TW_INT16 count);

  bool EnableSource(bool showInterface);
  bool Acquire(TW_INT32 count);

  // The event pump and the native-transfer loop.
  bool ProcessEvent(MSG message);
  void HandleSourceMessage(const TW_EVENT& event);
  // A fault thrown by DecideTransfer or OnImageReceived leaves the source
  // back in state 5 (the transfer in hand ended, the pending ones reset)
  // before it goes on to the caller.
  void TransferImages();
  bool GetImageInfo(TW_IMAGEINFO& info);
  bool TransferNative(const TW_IMAGEINFO& info);
  bool EndTransfer();
  void ResetTransfers();

  // Read-only views, for callers that check the session.
  TW_UINT16 LastResult() const { return m_lastResult; }
  const TW_IDENTITY& AppIdentity() const { return m_appIdentity; }
  const TW_IDENTITY& SourceIdentity() const { return m_sourceIdentity; }

 protected:
  HMODULE m_hManager = nullptr;
  DSMENTRYPROC m_pfnEntry = nullptr;
  TW_IDENTITY m_appIdentity{};
  TW_IDENTITY m_sourceIdentity{};
  TW_UINT16 m_lastResult = TWRC_SUCCESS;
  HWND m_hParent = nullptr;
  bool m_sourceChosen = false;
  bool m_managerOpen = false;
  bool m_sourceOpen = false;
  bool m_sourceEnabled = false;
  // A source chosen while another was open, for the next OpenSource.
  TW_IDENTITY m_nextSourceIdentity{};
  bool m_nextSourcePending = false;
  // Between a native transfer's answer and its MSG_ENDXFER (state 7).
  bool m_imageInHand = false;
  // Where the manager comes from (the system's, or a test's).
  const folvane::TwainManagerLibrary& m_library;

 private:
  void FillIdentity();
  void RequestStatus(pTW_IDENTITY origin, pTW_IDENTITY destination);
  // Where a source chosen now goes: the identity of the next source to open.
  TW_IDENTITY& ChoiceRecord();
  bool LookUpDefaultSource(TW_IDENTITY& record);
  void TransferPendingImages();
  void EndTransfersAfterFault();
};
