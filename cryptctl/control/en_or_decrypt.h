#pragma once
// CEnOrDecrypt: the encryption control as a COM object. An invisible control
// with the dual interface IEnOrDecrypt; both methods always succeed at the
// COM level and tell what happened through their result string.
#include <span>

#include "axframework/bstr.h"
#include "axframework/control.h"
#include "axframework/type_info_dispatch.h"
#include "lockvale_idl.h"
#include "token/token_access.h"

namespace lockvale {

class CEnOrDecrypt : public ax::TypeInfoDispatch<IEnOrDecrypt>,
                     public ax::Control<CEnOrDecrypt>,
                     public ISupportErrorInfo {
 public:
  static const ax::ControlInterfaceTable<1> kInterfaces;
  static constexpr DWORD kMiscStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INVISIBLEATRUNTIME |
                                       OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT | OLEMISC_CANTLINKINSIDE |
                                       OLEMISC_RECOMPOSEONRESIZE;

  CEnOrDecrypt();

  static const CLSID& ClassId() { return CLSID_EnOrDecrypt; }
  static ax::TypeLibraryId TypeLibrary();
  static const IID* EventInterface() { return nullptr; }
  static std::span<const CLSID> PropertyPages() { return {}; }
  void OnDraw(HDC dc, const RECT& bounds);

  // IEnOrDecrypt
  STDMETHODIMP QVEncryptFile(LONG VerifyPINFlag, BSTR PIN, LONG SetEncryptTypeFlag, BSTR EncrytpPasswordData,
                             BSTR SourecFilePathAndName, BSTR DestinationFilePathAndName, BSTR* Reserve) override;
  STDMETHODIMP QVDecryptFile(LONG VerifyPINFlag, BSTR PIN, LONG SetDecryptTypeFlag, BSTR DecrytpPasswordData,
                             BSTR SourecFilePathAndName, BSTR DestinationFilePathAndName, BSTR* Reserve) override;

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override;

 private:
  class Token;
  HRESULT RunCall(LONG verifyPinFlag, BSTR pin, LONG typeFlag, BSTR passPhrase, BSTR source, BSTR destination,
                  bool encrypt, BSTR* result) noexcept;

  // What the token reads left: the USERID's own bytes (the key string for type
  // flag 0, never round-tripped through a code page) and the serial number...
  TokenIdentity m_token;
  // ...and the same as text for COM callers (ANSI code page).
  ax::Bstr m_bstrUserID;
  ax::Bstr m_bstrSerialNumber;
};

}  // namespace lockvale
