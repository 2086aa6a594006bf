#pragma once
// A scripted TWAIN data source manager (with its one source) behind the
// session's library seam: records every call in order as a line of text and
// answers as the test tells it, else with the ordinary answer. Sessions on
// several threads may call it at once; its script is set up beforehand.
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "session/twain/manager_library.h"

namespace folvane::test {

class FakeManager final : public TwainManagerLibrary {
 public:
  using Reply = std::function<TW_UINT16(TW_MEMREF data)>;

  FakeManager();
  ~FakeManager();
  FakeManager(const FakeManager&) = delete;
  FakeManager& operator=(const FakeManager&) = delete;

  HMODULE Load() const override;
  DSMENTRYPROC EntryPoint(HMODULE library) const override;
  void Free(HMODULE library) const override;

  // The next call of this triplet gets `reply` (queued in order; an empty
  // reply stands for the ordinary answer); afterwards the ordinary answer.
  void Answer(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, Reply reply);
  // Every call of this triplet gets `reply` unless a queued one is waiting.
  void AnswerAlways(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, Reply reply);

  // The calls so far ("load", "DSM OPENDSM", "DS CAP SET 1 INT16 0000ffff",
  // "DS STATUS", ...); Take also forgets them.
  const std::vector<std::string>& Calls() const { return calls_; }
  std::vector<std::string> Take();

  struct Call {
    pTW_IDENTITY origin;
    pTW_IDENTITY destination;
    DWORD thread;
  };
  const std::vector<Call>& Addresses() const { return addresses_; }

  // The application identity as it came with MSG_OPENDSM.
  TW_IDENTITY appIdentityAtOpen{};
  // A capability container the session sent, as it was at the call.
  std::vector<std::uint8_t> lastSetContainer;
  UINT lastSetContainerFlags = 0;
  HWND openParent = nullptr;
  HWND enableParent = nullptr;

  bool hasLibrary = true;
  bool hasEntryPoint = true;

 private:
  using Key = std::tuple<TW_UINT32, TW_UINT16, TW_UINT16>;
  static TW_UINT16 PASCAL Entry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat,
                                TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 Handle(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                   TW_MEMREF data);
  std::string Describe(pTW_IDENTITY destination, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  TW_UINT16 Ordinary(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);

  mutable std::mutex lock_;
  mutable std::vector<std::string> calls_;
  std::vector<Call> addresses_;
  std::map<Key, std::deque<Reply>> queued_;
  std::map<Key, Reply> always_;
  std::uint32_t bitmapsHandedOut_ = 0;  // the session frees them
};

// Replies for the usual scripts.
FakeManager::Reply Returns(TW_UINT16 code);
// A processed event that carries a message of the source.
FakeManager::Reply SourceEvent(TW_UINT16 twainMessage);
// MSG_ENDXFER with this many still pending.
FakeManager::Reply Pending(TW_UINT16 count);
// A capability container (one value) with this item, as a source returns it.
FakeManager::Reply CapabilityValue(TW_UINT16 itemType, TW_UINT32 item);

}  // namespace folvane::test
