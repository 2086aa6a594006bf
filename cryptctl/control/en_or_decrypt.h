#pragma once
// CEnOrDecrypt: the encryption control as a COM object. An invisible control
// with the dual interface IEnOrDecrypt; both methods always succeed at the
// COM level and tell what happened through their result string.
#include <span>

#include "axframework/bstr.h"
#include "axframework/control.h"
#include "axframework/type_info_dispatch.h"
#include "lockvale_idl.h"

namespace lockvale {

class CEnOrDecrypt : public ax::TypeInfoDispatch<IEnOrDecrypt>,
                     public ax::Control<CEnOrDecrypt>,
                     public ISupportErrorInfo {
 public:
  static const ax::InterfaceEntry kInterfaces[20];
  // OLEMISC_SETCLIENTSITEFIRST | INVISIBLEATRUNTIME | ACTIVATEWHENVISIBLE |
  // INSIDEOUT | CANTLINKINSIDE | RECOMPOSEONRESIZE
  static constexpr DWORD kMiscStatus = 132497;

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

  ax::Bstr m_bstrUserID;        // the USERID of the last whole token read
  ax::Bstr m_bstrSerialNumber;  // "%08X" serial number of the last token read
};

}  // namespace lockvale
