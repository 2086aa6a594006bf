#include "control/en_or_decrypt.h"

#include <new>
#include <optional>
#include <string>

#include "control/file_call.h"
#include "messages.h"
#include "text/codepage_win32.h"

namespace lockvale {

const ax::ControlInterfaceTable<1> CEnOrDecrypt::kInterfaces = ax::ControlInterfaces<CEnOrDecrypt, IEnOrDecrypt>(
    IID_IEnOrDecrypt, ax::Entry<CEnOrDecrypt, ISupportErrorInfo>(IID_ISupportErrorInfo));

namespace {

// 2 by 2 inches.
constexpr SIZEL kDefaultExtent{5080, 5080};

// A BSTR argument as narrow text in the ANSI code page, strictly: nullopt when
// a character has no exact counterpart there. (The code page by number, so
// that a system whose ANSI code page is UTF-8 gets UTF-8's own strict flags.)
std::optional<std::string> ToAnsi(BSTR text) { return bidder::WideToCodePage(ax::BstrText(text), GetACP()); }

// The result strings are GBK text whatever the process's code page.
ax::Bstr MessageToBstr(const std::string& message) {
  std::optional<std::wstring> wide = bidder::CodePageToWide(message, bidder::kGbkCodePage);
  if (!wide) throw std::bad_alloc();  // our own constants: cannot happen
  return ax::Bstr(*wide);
}

// Narrow text from the token as a BSTR in the ANSI code page. Bytes that
// aren't valid text there still give a string (the key uses the bytes).
ax::Bstr AnsiToBstr(const std::string& text) {
  if (text.empty()) return ax::Bstr(std::wstring_view());
  if (auto strict = bidder::CodePageToWide(text, CP_ACP)) return ax::Bstr(*strict);
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return ax::Bstr(wide);
}

}  // namespace

// The token as one call uses it, through the token routines over FT_ND_API.
class CEnOrDecrypt::Token final : public KeyToken {
 public:
  explicit Token(CEnOrDecrypt& control) : control_(control) {}

  std::string VerifyPin(std::string_view pin) override { return VerifyPIN(pin); }

  std::string ReadUserIdKey(std::string& key) override {
    const std::string message = RefreshTokenIdentity(control_.m_token);
    // The serial number is kept as soon as it was read, the USERID only after a whole read.
    if (const auto& serial = control_.m_token.serialNumber) control_.m_bstrSerialNumber = AnsiToBstr(*serial);
    if (const auto& userId = control_.m_token.userId) control_.m_bstrUserID = AnsiToBstr(*userId);
    if (message.empty()) key = control_.m_token.userId.value_or(std::string());
    return message;
  }

 private:
  CEnOrDecrypt& control_;
};

CEnOrDecrypt::CEnOrDecrypt()
    : ax::TypeInfoDispatch<IEnOrDecrypt>(IID_IEnOrDecrypt, TypeLibrary()), ax::Control<CEnOrDecrypt>(kDefaultExtent) {}

ax::TypeLibraryId CEnOrDecrypt::TypeLibrary() { return {&LIBID_LockvaleLib, 1, 0}; }

void CEnOrDecrypt::OnDraw(HDC dc, const RECT& bounds) {
  static constexpr char kCaption[] = "ATL 8.0 : EnOrDecrypt";
  HRGN clip = CreateRectRgnIndirect(&bounds);
  if (clip) SelectClipRgn(dc, clip);
  Rectangle(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
  SetTextAlign(dc, TA_CENTER | TA_BASELINE);
  TextOutA(dc, (bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2, kCaption, sizeof kCaption - 1);
  SelectClipRgn(dc, nullptr);
  if (clip) DeleteObject(clip);
}

STDMETHODIMP CEnOrDecrypt::QVEncryptFile(LONG VerifyPINFlag, BSTR PIN, LONG SetEncryptTypeFlag,
                                         BSTR EncrytpPasswordData, BSTR SourecFilePathAndName,
                                         BSTR DestinationFilePathAndName, BSTR* Reserve) {
  return RunCall(VerifyPINFlag, PIN, SetEncryptTypeFlag, EncrytpPasswordData, SourecFilePathAndName,
                 DestinationFilePathAndName, true, Reserve);
}

STDMETHODIMP CEnOrDecrypt::QVDecryptFile(LONG VerifyPINFlag, BSTR PIN, LONG SetDecryptTypeFlag,
                                         BSTR DecrytpPasswordData, BSTR SourecFilePathAndName,
                                         BSTR DestinationFilePathAndName, BSTR* Reserve) {
  return RunCall(VerifyPINFlag, PIN, SetDecryptTypeFlag, DecrytpPasswordData, SourecFilePathAndName,
                 DestinationFilePathAndName, false, Reserve);
}

HRESULT CEnOrDecrypt::RunCall(LONG verifyPinFlag, BSTR pin, LONG typeFlag, BSTR passPhrase, BSTR source,
                              BSTR destination, bool encrypt, BSTR* result) noexcept {
  if (!result) return E_POINTER;
  *result = nullptr;
  try {
    FileCallArguments args;
    args.verifyPinFlag = verifyPinFlag;
    args.pin = ToAnsi(pin);
    args.typeFlag = typeFlag;
    args.passPhrase = ToAnsi(passPhrase);
    args.sourcePath = ToAnsi(source);
    args.destinationPath = ToAnsi(destination);
    Token token(*this);
    const std::string message =
        RunFileCall(args, encrypt ? FileCipherDirection::kEncrypt : FileCipherDirection::kDecrypt, token);
    if (!message.empty()) *result = MessageToBstr(message).Detach();
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

STDMETHODIMP CEnOrDecrypt::InterfaceSupportsErrorInfo(REFIID iid) {
  return InlineIsEqualGUID(iid, IID_IEnOrDecrypt) ? S_OK : S_FALSE;
}

}  // namespace lockvale
