#include "fake_manager.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "page_pattern.h"

namespace folvane::test {
namespace {

FakeManager* g_current = nullptr;
// Any non-null value: the fake library is never really loaded.
HMODULE FakeModule() { return reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x7A000000)); }

const char* Name(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) {
  if (dg == DG_IMAGE && dat == DAT_IMAGEINFO) return "IMAGEINFO";
  if (dg == DG_IMAGE && dat == DAT_IMAGENATIVEXFER) return "NATIVEXFER";
  switch (dat) {
    case DAT_PARENT: return msg == MSG_OPENDSM ? "OPENDSM" : msg == MSG_CLOSEDSM ? "CLOSEDSM" : "PARENT?";
    case DAT_IDENTITY:
      switch (msg) {
        case MSG_GETDEFAULT: return "GETDEFAULT";
        case MSG_USERSELECT: return "USERSELECT";
        case MSG_OPENDS: return "OPENDS";
        case MSG_CLOSEDS: return "CLOSEDS";
        default: return "IDENTITY?";
      }
    case DAT_USERINTERFACE: return msg == MSG_ENABLEDS ? "ENABLEDS" : msg == MSG_DISABLEDS ? "DISABLEDS" : "UI?";
    case DAT_EVENT: return msg == MSG_PROCESSEVENT ? "PROCESSEVENT" : "EVENT?";
    case DAT_PENDINGXFERS: return msg == MSG_ENDXFER ? "ENDXFER" : msg == MSG_RESET ? "RESET" : "PENDING?";
    case DAT_STATUS: return msg == MSG_GET ? "STATUS" : "STATUS?";
    case DAT_CAPABILITY: return msg == MSG_SET ? "CAP SET" : msg == MSG_GET ? "CAP GET" : "CAP?";
    default: return "?";
  }
}

void FillSourceIdentity(TW_MEMREF data, const char* name) {
  auto* id = static_cast<pTW_IDENTITY>(data);
  std::strcpy(id->ProductName, name);
  id->Id = 9;
}

}  // namespace

FakeManager::FakeManager() { g_current = this; }

FakeManager::~FakeManager() {
  if (g_current == this) g_current = nullptr;
}

HMODULE FakeManager::Load() const {
  const std::lock_guard guard(lock_);
  calls_.push_back("load");
  return hasLibrary ? FakeModule() : nullptr;
}

DSMENTRYPROC FakeManager::EntryPoint(HMODULE library) const {
  return hasEntryPoint && library == FakeModule() ? &FakeManager::Entry : nullptr;
}

void FakeManager::Free(HMODULE) const {
  const std::lock_guard guard(lock_);
  calls_.push_back("unload");
}

void FakeManager::Answer(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, Reply reply) {
  queued_[{dg, dat, msg}].push_back(std::move(reply));
}

void FakeManager::AnswerAlways(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, Reply reply) {
  always_[{dg, dat, msg}] = std::move(reply);
}

std::vector<std::string> FakeManager::Take() {
  const std::lock_guard guard(lock_);
  std::vector<std::string> taken;
  taken.swap(calls_);
  return taken;
}

TW_UINT16 PASCAL FakeManager::Entry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                                    TW_UINT16 msg, TW_MEMREF data) {
  return g_current ? g_current->Handle(origin, destination, dg, dat, msg, data) : TWRC_FAILURE;
}

std::string FakeManager::Describe(pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                                  TW_MEMREF data) {
  std::string text = destination ? "DS " : "DSM ";
  text += Name(dg, dat, msg);
  if (dat == DAT_CAPABILITY && data) {
    const auto* cap = static_cast<const TW_CAPABILITY*>(data);
    char detail[64];
    if (msg == MSG_SET && cap->hContainer) {
      const auto* one = static_cast<const TW_ONEVALUE*>(GlobalLock(cap->hContainer));
      std::snprintf(detail, sizeof(detail), " %u %s %08lx", cap->Cap,
                    one->ItemType == TWTY_INT16 ? "INT16" : one->ItemType == TWTY_UINT16 ? "UINT16" : "?",
                    static_cast<unsigned long>(one->Item));
      const auto* bytes = reinterpret_cast<const std::uint8_t*>(one);
      lastSetContainer.assign(bytes, bytes + GlobalSize(cap->hContainer));
      lastSetContainerFlags = GlobalFlags(cap->hContainer);
      GlobalUnlock(cap->hContainer);
    } else {
      std::snprintf(detail, sizeof(detail), " %u con=%04x", cap->Cap, cap->ConType);
    }
    text += detail;
  }
  if (dat == DAT_USERINTERFACE && msg == MSG_ENABLEDS && data) {
    const auto* ui = static_cast<const TW_USERINTERFACE*>(data);
    text += ui->ShowUI ? " show" : " hidden";
    enableParent = static_cast<HWND>(ui->hParent);
  }
  return text;
}

TW_UINT16 FakeManager::Handle(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                              TW_UINT16 msg, TW_MEMREF data) {
  const std::lock_guard guard(lock_);
  calls_.push_back(Describe(destination, dg, dat, msg, data));
  addresses_.push_back({origin, destination, GetCurrentThreadId()});
  if (dat == DAT_PARENT && msg == MSG_OPENDSM) {
    appIdentityAtOpen = *origin;
    openParent = *static_cast<HWND*>(data);
  }
  const Key key{dg, dat, msg};
  if (auto q = queued_.find(key); q != queued_.end() && !q->second.empty()) {
    Reply reply = std::move(q->second.front());
    q->second.pop_front();
    return reply ? reply(data) : Ordinary(dg, dat, msg, data);
  }
  if (auto a = always_.find(key); a != always_.end()) return a->second(data);
  return Ordinary(dg, dat, msg, data);
}

TW_UINT16 FakeManager::Ordinary(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (dat == DAT_PARENT && msg == MSG_OPENDSM) {
    appIdentityAtOpen.Id = 0;
    return TWRC_SUCCESS;
  }
  if (dat == DAT_IDENTITY && msg == MSG_GETDEFAULT) {
    FillSourceIdentity(data, "Default Source");
    return TWRC_SUCCESS;
  }
  if (dat == DAT_IDENTITY && msg == MSG_USERSELECT) {
    FillSourceIdentity(data, "Chosen Source");
    return TWRC_SUCCESS;
  }
  if (dat == DAT_EVENT) {
    static_cast<pTW_EVENT>(data)->TWMessage = MSG_NULL;
    return TWRC_NOTDSEVENT;
  }
  if (dat == DAT_STATUS) {
    static_cast<pTW_STATUS>(data)->ConditionCode = TWCC_BUMMER;
    return TWRC_SUCCESS;
  }
  if (dg == DG_IMAGE && dat == DAT_IMAGEINFO) {
    auto* info = static_cast<pTW_IMAGEINFO>(data);
    info->ImageWidth = 8;
    info->ImageLength = 4;
    info->BitsPerPixel = 24;
    return TWRC_SUCCESS;
  }
  if (dg == DG_IMAGE && dat == DAT_IMAGENATIVEXFER) {
    vscan::PageFormat format;
    format.width = 8;
    format.height = 4;
    const std::vector<std::uint8_t> dib = vscan::BuildPackedDib(format, bitmapsHandedOut_++);
    HGLOBAL h = GlobalAlloc(GHND, dib.size());
    std::memcpy(GlobalLock(h), dib.data(), dib.size());
    GlobalUnlock(h);
    *static_cast<TW_HANDLE*>(data) = h;
    return TWRC_XFERDONE;
  }
  if (dat == DAT_PENDINGXFERS) {
    static_cast<pTW_PENDINGXFERS>(data)->Count = 0;
    return TWRC_SUCCESS;
  }
  return TWRC_SUCCESS;
}

FakeManager::Reply Returns(TW_UINT16 code) {
  return [code](TW_MEMREF) { return code; };
}

FakeManager::Reply SourceEvent(TW_UINT16 twainMessage) {
  return [twainMessage](TW_MEMREF data) {
    static_cast<pTW_EVENT>(data)->TWMessage = twainMessage;
    return static_cast<TW_UINT16>(TWRC_DSEVENT);
  };
}

FakeManager::Reply Pending(TW_UINT16 count) {
  return [count](TW_MEMREF data) {
    static_cast<pTW_PENDINGXFERS>(data)->Count = count;
    return static_cast<TW_UINT16>(TWRC_SUCCESS);
  };
}

FakeManager::Reply CapabilityValue(TW_UINT16 itemType, TW_UINT32 item) {
  return [itemType, item](TW_MEMREF data) {
    auto* cap = static_cast<pTW_CAPABILITY>(data);
    HGLOBAL h = GlobalAlloc(GHND, sizeof(TW_ONEVALUE));
    auto* one = static_cast<TW_ONEVALUE*>(GlobalLock(h));
    one->ItemType = itemType;
    one->Item = item;
    GlobalUnlock(h);
    cap->ConType = TWON_ONEVALUE;
    cap->hContainer = h;
    return static_cast<TW_UINT16>(TWRC_SUCCESS);
  };
}

}  // namespace folvane::test
