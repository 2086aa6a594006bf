#include "virtual_source.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vscan {
namespace {

const char* DatName(TW_UINT16 dat) {
  switch (dat) {
    case DAT_CAPABILITY: return "CAPABILITY";
    case DAT_EVENT: return "EVENT";
    case DAT_IDENTITY: return "IDENTITY";
    case DAT_PARENT: return "PARENT";
    case DAT_PENDINGXFERS: return "PENDINGXFERS";
    case DAT_STATUS: return "STATUS";
    case DAT_USERINTERFACE: return "USERINTERFACE";
    case DAT_IMAGEINFO: return "IMAGEINFO";
    case DAT_IMAGENATIVEXFER: return "IMAGENATIVEXFER";
    default: return nullptr;
  }
}

const char* MsgName(TW_UINT16 msg) {
  switch (msg) {
    case MSG_GET: return "GET";
    case MSG_GETCURRENT: return "GETCURRENT";
    case MSG_GETDEFAULT: return "GETDEFAULT";
    case MSG_SET: return "SET";
    case MSG_RESET: return "RESET";
    case MSG_OPENDS: return "OPENDS";
    case MSG_CLOSEDS: return "CLOSEDS";
    case MSG_ENABLEDS: return "ENABLEDS";
    case MSG_DISABLEDS: return "DISABLEDS";
    case MSG_PROCESSEVENT: return "PROCESSEVENT";
    case MSG_ENDXFER: return "ENDXFER";
    default: return nullptr;
  }
}

const char* ResultName(TW_UINT16 rc) {
  switch (rc) {
    case TWRC_SUCCESS: return "SUCCESS";
    case TWRC_FAILURE: return "FAILURE";
    case TWRC_CHECKSTATUS: return "CHECKSTATUS";
    case TWRC_CANCEL: return "CANCEL";
    case TWRC_DSEVENT: return "DSEVENT";
    case TWRC_NOTDSEVENT: return "NOTDSEVENT";
    case TWRC_XFERDONE: return "XFERDONE";
    default: return "?";
  }
}

TW_FIX32 Fix32(std::uint32_t whole) {
  TW_FIX32 f{};
  f.Whole = static_cast<TW_INT16>(whole);
  f.Frac = 0;
  return f;
}

}  // namespace

void FillIdentity(TW_IDENTITY& identity) {
  const TW_UINT32 id = identity.Id;
  identity = TW_IDENTITY{};
  identity.Id = id;
  identity.Version.MajorNum = 1;
  identity.Version.MinorNum = 0;
  identity.Version.Language = TWLG_USA;
  identity.Version.Country = TWCY_USA;
  std::strcpy(identity.Version.Info, "1.0 test device");
  identity.ProtocolMajor = TWON_PROTOCOLMAJOR;
  identity.ProtocolMinor = TWON_PROTOCOLMINOR;
  identity.SupportedGroups = DG_CONTROL | DG_IMAGE;
  std::strcpy(identity.Manufacturer, "Folvane");
  std::strcpy(identity.ProductFamily, "Test devices");
  std::strcpy(identity.ProductName, "Folvane Virtual Scanner");
}

TW_UINT16 VirtualSource::Entry(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  // While closed, every call sees the settings as they are now (the log
  // file included); an open session keeps the ones it was opened with.
  if (state_ == 3) settings_ = LoadSettings(module_);
  const TW_UINT16 rc = Dispatch(origin, dg, dat, msg, data);
  char line[160];
  const char* datName = DatName(dat);
  const char* msgName = MsgName(msg);
  char datBuf[8], msgBuf[8];
  if (!datName) std::snprintf(datBuf, sizeof(datBuf), "0x%04x", dat), datName = datBuf;
  if (!msgName) std::snprintf(msgBuf, sizeof(msgBuf), "0x%04x", msg), msgName = msgBuf;
  std::snprintf(line, sizeof(line), "%s %s %s -> %s", dg == DG_IMAGE ? "IMAGE" : dg == DG_CONTROL ? "CONTROL" : "?",
                datName, msgName, ResultName(rc));
  Log(line);
  return rc;
}

TW_UINT16 VirtualSource::Dispatch(pTW_IDENTITY origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (dg == DG_CONTROL && dat == DAT_STATUS && msg == MSG_GET && data) {
    auto* status = static_cast<pTW_STATUS>(data);
    *status = TW_STATUS{};
    status->ConditionCode = conditionCode_;
    conditionCode_ = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  conditionCode_ = TWCC_SUCCESS;
  if (!data && !(dg == DG_CONTROL && dat == DAT_IDENTITY && msg == MSG_CLOSEDS)) return Fail(TWCC_BADVALUE);
  if (dg == DG_CONTROL) {
    switch (dat) {
      case DAT_IDENTITY: return Identity(origin, msg, static_cast<pTW_IDENTITY>(data));
      case DAT_CAPABILITY: return Capability(msg, static_cast<pTW_CAPABILITY>(data));
      case DAT_USERINTERFACE: return UserInterface(msg, static_cast<pTW_USERINTERFACE>(data));
      case DAT_PENDINGXFERS: return PendingTransfers(msg, static_cast<pTW_PENDINGXFERS>(data));
      case DAT_EVENT:
        if (msg != MSG_PROCESSEVENT || state_ < 5) return Fail(TWCC_SEQERROR);
        // Events reach us through the manager's own queue; nothing of ours.
        static_cast<pTW_EVENT>(data)->TWMessage = MSG_NULL;
        return TWRC_NOTDSEVENT;
      default: return Fail(TWCC_BADPROTOCOL);
    }
  }
  if (dg == DG_IMAGE && msg == MSG_GET) {
    if (dat == DAT_IMAGEINFO) return ImageInfo(static_cast<pTW_IMAGEINFO>(data));
    if (dat == DAT_IMAGENATIVEXFER) return NativeTransfer(static_cast<TW_HANDLE*>(data));
  }
  return Fail(TWCC_BADPROTOCOL);
}

TW_UINT16 VirtualSource::Identity(pTW_IDENTITY origin, TW_UINT16 msg, pTW_IDENTITY identity) {
  switch (msg) {
    case MSG_GET:
      FillIdentity(*identity);
      return TWRC_SUCCESS;
    case MSG_OPENDS:
      if (state_ != 3) return Fail(TWCC_SEQERROR);
      if (settings_.openFails) return Fail(TWCC_OPERATIONERROR);
      if (origin) app_ = *origin;
      // Wine's manager names the source in this record only after the source
      // has accepted the open, so the Id is read again when it is needed.
      openedAs_ = identity;
      FillIdentity(self_);
      self_.Id = identity->Id;
      transferCount_ = -1;
      delivered_ = 0;
      state_ = 4;
      return TWRC_SUCCESS;
    case MSG_CLOSEDS:
      if (state_ != 4) return Fail(TWCC_SEQERROR);
      state_ = 3;
      openedAs_ = nullptr;
      return TWRC_SUCCESS;
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 VirtualSource::Capability(TW_UINT16 msg, pTW_CAPABILITY capability) {
  if (state_ < 4) return Fail(TWCC_SEQERROR);
  if (capability->Cap != CAP_XFERCOUNT) return Fail(TWCC_CAPUNSUPPORTED);
  switch (msg) {
    case MSG_GET:
    case MSG_GETCURRENT:
    case MSG_GETDEFAULT: {
      HGLOBAL block = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
      if (!block) return Fail(TWCC_LOWMEMORY);
      auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(block));
      one->ItemType = TWTY_INT16;
      one->Item = static_cast<TW_UINT16>(msg == MSG_GETDEFAULT ? -1 : transferCount_);
      GlobalUnlock(block);
      capability->ConType = TWON_ONEVALUE;
      capability->hContainer = block;
      return TWRC_SUCCESS;
    }
    case MSG_SET: {
      if (state_ != 4) return Fail(TWCC_SEQERROR);
      if (capability->ConType != TWON_ONEVALUE || !capability->hContainer ||
          GlobalSize(capability->hContainer) < sizeof(TW_ONEVALUE)) {
        return Fail(TWCC_BADVALUE);
      }
      auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(capability->hContainer));
      if (!one) return Fail(TWCC_BADVALUE);
      const auto wanted = static_cast<TW_INT16>(one->Item & 0xFFFF);
      GlobalUnlock(capability->hContainer);
      if (settings_.refuseTransferCount) {
        // This device insists on scanning exactly its page count: any other
        // value is replaced by it.
        const auto own = static_cast<TW_INT16>(settings_.pages);
        transferCount_ = own;
        if (wanted != own) return TWRC_CHECKSTATUS;
        return TWRC_SUCCESS;
      }
      if (wanted == 0 || wanted < -1) return Fail(TWCC_BADVALUE);
      transferCount_ = wanted;
      return TWRC_SUCCESS;
    }
    case MSG_RESET:
      if (state_ != 4) return Fail(TWCC_SEQERROR);
      transferCount_ = -1;
      return TWRC_SUCCESS;
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 VirtualSource::UserInterface(TW_UINT16 msg, pTW_USERINTERFACE ui) {
  switch (msg) {
    case MSG_ENABLEDS:
      if (state_ != 4) return Fail(TWCC_SEQERROR);
      if (self_.Id == 0 && openedAs_) self_.Id = openedAs_->Id;
      window_ = CreateSourceWindow(module_, static_cast<HWND>(ui->hParent), *this);
      state_ = 5;
      if (settings_.autoScan || settings_.closeBeforeScan) PostStartScan(window_);
      return TWRC_SUCCESS;
    case MSG_DISABLEDS:
      if (state_ != 5) return Fail(TWCC_SEQERROR);
      DestroySourceWindow(window_);
      window_ = nullptr;
      state_ = 4;
      return TWRC_SUCCESS;
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

int VirtualSource::PagesToDeliver() const {
  if (transferCount_ == -1) return settings_.pages;
  return std::min<int>(settings_.pages, transferCount_);
}

void VirtualSource::StartScan() {
  if (state_ != 5) return;
  if (settings_.closeBeforeScan) {
    RequestClose();
    return;
  }
  remaining_ = PagesToDeliver();
  pageInScan_ = 0;
  if (remaining_ == 0) {
    ReportScanDone();
    return;
  }
  state_ = 6;
  Signal(MSG_XFERREADY);
}

void VirtualSource::RequestClose() {
  if (state_ >= 5) Signal(MSG_CLOSEDSREQ);
}

void VirtualSource::ReportScanDone() {
  if (settings_.closeAfterScan) PostCloseRequest(window_);
}

TW_UINT16 VirtualSource::ImageInfo(pTW_IMAGEINFO info) {
  if (state_ != 6 && state_ != 7) return Fail(TWCC_SEQERROR);
  if (pageInScan_ == settings_.imageInfoFailPage) return Fail(TWCC_OPERATIONERROR);
  const PageFormat& f = settings_.format;
  *info = TW_IMAGEINFO{};
  info->XResolution = Fix32(f.dpi);
  info->YResolution = Fix32(f.dpi);
  info->ImageWidth = static_cast<TW_INT32>(f.width);
  info->ImageLength = static_cast<TW_INT32>(f.height);
  const bool rgb = f.kind == PixelKind::kRgb;
  info->SamplesPerPixel = rgb ? 3 : 1;
  for (int i = 0; i < info->SamplesPerPixel; ++i) info->BitsPerSample[i] = f.kind == PixelKind::kBlackWhite ? 1 : 8;
  info->BitsPerPixel = static_cast<TW_INT16>(BitsPerPixel(f.kind));
  info->Planar = FALSE;
  info->PixelType = f.kind == PixelKind::kBlackWhite ? TWPT_BW
                    : f.kind == PixelKind::kGrey     ? TWPT_GRAY
                    : f.kind == PixelKind::kPalette  ? TWPT_PALETTE
                                                     : TWPT_RGB;
  info->Compression = TWCP_NONE;
  return TWRC_SUCCESS;
}

TW_UINT16 VirtualSource::NativeTransfer(TW_HANDLE* handle) {
  if (state_ != 6) return Fail(TWCC_SEQERROR);
  if (pageInScan_ == settings_.failPage) return Fail(TWCC_OPERATIONERROR);
  state_ = 7;
  if (pageInScan_ == settings_.cancelPage) return TWRC_CANCEL;
  const std::vector<std::uint8_t> dib = BuildPackedDib(settings_.format, static_cast<std::uint32_t>(settings_.seed) + delivered_);
  HGLOBAL block = GlobalAlloc(GHND, dib.size());
  void* bytes = block ? GlobalLock(block) : nullptr;
  if (!bytes) {
    if (block) GlobalFree(block);
    state_ = 6;
    return Fail(TWCC_LOWMEMORY);
  }
  std::memcpy(bytes, dib.data(), dib.size());
  GlobalUnlock(block);
  *handle = block;
  ++delivered_;
  return TWRC_XFERDONE;
}

TW_UINT16 VirtualSource::PendingTransfers(TW_UINT16 msg, pTW_PENDINGXFERS pending) {
  switch (msg) {
    case MSG_GET:
      if (state_ < 4) return Fail(TWCC_SEQERROR);
      pending->Count = static_cast<TW_UINT16>(state_ >= 6 ? remaining_ : 0);
      return TWRC_SUCCESS;
    case MSG_ENDXFER:
      if (state_ != 6 && state_ != 7) return Fail(TWCC_SEQERROR);
      --remaining_;
      ++pageInScan_;
      if (remaining_ > 0) {
        state_ = 6;
        pending->Count = settings_.unknownCount ? 0xFFFF : static_cast<TW_UINT16>(remaining_);
        return TWRC_SUCCESS;
      }
      pending->Count = 0;
      state_ = 5;
      ReportScanDone();
      return TWRC_SUCCESS;
    case MSG_RESET:
      if (state_ != 6 && state_ != 7) return Fail(TWCC_SEQERROR);
      remaining_ = 0;
      pending->Count = 0;
      state_ = 5;
      ReportScanDone();
      return TWRC_SUCCESS;
    default: return Fail(TWCC_BADPROTOCOL);
  }
}

TW_UINT16 VirtualSource::Fail(TW_UINT16 conditionCode) {
  conditionCode_ = conditionCode;
  return TWRC_FAILURE;
}

void VirtualSource::Signal(TW_UINT16 msg) {
  HMODULE manager = GetModuleHandleA("TWAIN_32.DLL");
  if (!manager) manager = GetModuleHandleA("TWAINDSM.DLL");
  if (!manager) return;
  const auto entry =
      reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void (*)()>(GetProcAddress(manager, "DSM_Entry")));
  if (!entry) return;
  char line[64];
  std::snprintf(line, sizeof(line), "signal %s", msg == MSG_XFERREADY ? "XFERREADY" : "CLOSEDSREQ");
  Log(line);
  entry(&self_, &app_, DG_CONTROL, DAT_NULL, msg, nullptr);
}

void VirtualSource::Log(const char* line) {
  if (settings_.logPath.empty()) return;
  if (std::FILE* f = std::fopen(settings_.logPath.c_str(), "ab")) {
    std::fprintf(f, "%s\n", line);
    std::fclose(f);
  }
}

}  // namespace vscan
