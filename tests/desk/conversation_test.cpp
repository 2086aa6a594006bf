// A page's conversation seen from the page's side: the messages it sends and
// every message it gets back, answers and notifications, over the real
// documents, blobs and token service, with a scanner of the test's own.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>

#include "desk/methods/page_conversation.h"
#include "desk/rpc/errors.h"
#include "dib_fixture.h"
#include "support/temp_dir.h"

namespace bidder::desk {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// What a page receives, in order; waits for what is still to come.
class RecordingChannel final : public SessionChannel {
 public:
  void Send(std::string text) override {
    {
      std::lock_guard lock(mutex_);
      messages_.push_back(json::parse(text));
    }
    arrived_.notify_all();
  }
  // The first message from `from` on that matches, waiting up to five seconds.
  std::optional<json> WaitFor(const std::function<bool(const json&)>& match, std::size_t from = 0) {
    std::unique_lock lock(mutex_);
    std::optional<json> found;
    arrived_.wait_for(lock, 5s, [&] {
      for (std::size_t i = from; i < messages_.size(); ++i) {
        if (match(messages_[i])) {
          found = messages_[i];
          return true;
        }
      }
      return false;
    });
    return found;
  }
  std::optional<json> Answer(int id) {
    return WaitFor([id](const json& m) { return m.contains("id") && m["id"] == id; });
  }
  std::size_t Count(std::string_view method) {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const json& m : messages_) n += m.value("method", "") == method;
    return n;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<json> messages_;
};

// A feeder of `pages` small colour pages; with `holdAfter` it waits after
// that many pages until cancelled, with `fault` it ends in that failure.
class FakeScanners final : public ScannerBackend {
 public:
  std::uint32_t pages = 3;
  std::optional<std::uint32_t> holdAfter;
  std::optional<rpc::ErrorReason> fault;

  std::vector<ScannerEntry> List() override { return {{"fake:0", "Fake feeder", true}}; }
  ScanOutcome Scan(const ScanSettings& settings, ScanSink& sink) override {
    ScanOutcome outcome;
    if (settings.scanner && *settings.scanner != "fake:0") {
      outcome.failure = rpc::ErrorReason::kNoScanner;
      return outcome;
    }
    for (std::uint32_t i = 0; i < pages; ++i) {
      if (holdAfter && i == *holdAfter) {
        std::unique_lock lock(mutex_);
        cancelled_.wait(lock, [this] { return cancel_; });
      }
      if (Cancelled()) {
        outcome.failure = rpc::ErrorReason::kCancelled;
        return outcome;
      }
      folvane::test::DibFixture fixture;
      fixture.width = 40;
      fixture.height = 30;
      fixture.seed = i + 1;
      const auto dib = folvane::test::MakeDib(fixture);
      if (!sink.OnPage(dib.bytes)) return outcome;
      ++outcome.pages;
    }
    if (fault) {
      sink.OnStatus("jam");
      outcome.failure = fault;
    }
    return outcome;
  }
  void Cancel() override {
    {
      std::lock_guard lock(mutex_);
      cancel_ = true;
    }
    cancelled_.notify_all();
  }

 private:
  bool Cancelled() {
    std::lock_guard lock(mutex_);
    return cancel_;
  }
  std::mutex mutex_;
  std::condition_variable cancelled_;
  bool cancel_ = false;
};

struct Desk {
  test::TempDir work;
  SessionDirectory sessions;
  DocumentRegistry documents{work.path() / "documents"};
  BlobStore blobs{work.path() / "blobs", 1 << 20};
  TokenService token;
  FakeScanners scanners;
  ScanCoordinator scans{scanners};
  TaskRunner tasks{2};
  DeskServices services{documents, blobs, scanners, scans, token, sessions, tasks};
};

struct Page {
  std::shared_ptr<RecordingChannel> channel = std::make_shared<RecordingChannel>();
  std::unique_ptr<PageConversation> conversation;
  int nextId = 1;

  Page(Desk& desk, std::string origin) {
    SessionContext context{std::move(origin), "key-" + std::to_string(reinterpret_cast<std::uintptr_t>(this))};
    conversation = std::make_unique<PageConversation>(desk.services, context, channel);
  }
  // Sends a request; gives its answer, at once or when it comes.
  json Ask(std::string_view method, json params = json::object()) {
    const int id = nextId++;
    const json request = {{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}};
    const std::string now = conversation->OnMessage(request.dump());
    if (!now.empty()) return json::parse(now);
    std::optional<json> later = channel->Answer(id);
    return later ? *later : json{{"timeout", true}};
  }
};

std::string Reason(const json& answer) { return answer["error"]["data"]["reason"]; }

TEST(Conversation, AnswersWhatIsNoRequestUnderTheIdItCanRead) {
  Desk desk;
  Page page(desk, "https://a.example");
  struct Case {
    const char* message;
    json id;
    int code;
  };
  const std::vector<Case> cases = {
      {R"({"jsonrpc":"2.0","id":7,"method":"scanner.fly"})", 7, -32601},
      {R"({"jsonrpc":"2.0","id":{"no":"objects"},"method":"x"})", nullptr, -32600},
      {R"({"jsonrpc":"2.0","id":1,"method":"x")", nullptr, -32700},
      {"\xff\xfe", nullptr, -32700},
      {R"({"jsonrpc":"2.0","id":2,"method":"scanner.scan","params":{"mode":"sepia"}})", 2, -32602},
      {R"({"jsonrpc":"2.0","id":3,"method":"scanner.scan","params":{"resolution":1e300}})", 3, -32602},
      {R"({"jsonrpc":"2.0","id":4,"method":"document.move","params":{"id":"p1","to":-1}})", 4, -32602},
      {R"({"jsonrpc":"2.0","id":5,"method":"crypt.encrypt","params":{"input":7,"key":"empty"}})", 5, -32602},
  };
  for (const Case& c : cases) {
    const json answer = json::parse(page.conversation->OnMessage(c.message));
    EXPECT_EQ(answer["id"], c.id) << c.message;
    EXPECT_EQ(answer["error"]["code"], c.code) << c.message;
  }
  EXPECT_EQ(page.conversation->OnMessage(R"({"jsonrpc":"2.0","method":"page.closing"})"), "");
}

TEST(Conversation, ScannedPagesReachTheOriginsPagesAndOnlyThem) {
  Desk desk;
  Page scanning(desk, "https://a.example");
  Page sameOrigin(desk, "https://a.example");
  Page otherOrigin(desk, "https://b.example");

  const json done = scanning.Ask("scanner.scan", {{"mode", "color"}, {"source", "adf"}});
  EXPECT_EQ(done["result"], json({{"added", 3}, {"total", 3}})) << done;
  EXPECT_EQ(scanning.channel->Count("scan.page"), 3u);
  const auto page = scanning.channel->WaitFor([](const json& m) { return m.value("method", "") == "scan.page"; });
  ASSERT_TRUE(page);
  EXPECT_EQ((*page)["params"]["width"], 40);
  EXPECT_EQ((*page)["params"]["mode"], "color");
  EXPECT_EQ((*page)["params"]["thumbnail"].get<std::string>().rfind("data:image/png;base64,", 0), 0u);

  EXPECT_EQ(sameOrigin.channel->Count("document.changed"), 3u);
  EXPECT_EQ(otherOrigin.channel->Count("document.changed"), 0u);
  EXPECT_EQ(sameOrigin.Ask("document.pages")["result"].size(), 3u);
  EXPECT_EQ(otherOrigin.Ask("document.pages")["result"].size(), 0u);
}

TEST(Conversation, OneScanAtATimeAndAClosedPageEndsItsScanKeepingItsPages) {
  Desk desk;
  desk.scanners.pages = 5;
  desk.scanners.holdAfter = 2;
  auto first = std::make_unique<Page>(desk, "https://a.example");
  Page second(desk, "https://b.example");

  const std::string started = first->conversation->OnMessage(
      R"({"jsonrpc":"2.0","id":1,"method":"scanner.scan","params":{}})");
  EXPECT_EQ(started, "");
  ASSERT_TRUE(first->channel->WaitFor([](const json& m) { return m.value("method", "") == "scan.page" &&
                                                                 m["params"]["index"] == 1; }));
  const json busy = second.Ask("scanner.scan");
  EXPECT_EQ(Reason(busy), "busy");
  EXPECT_EQ(first->Ask("scanner.state")["result"], json({{"scanning", true}, {"mine", true}}));
  EXPECT_EQ(second.Ask("scanner.state")["result"], json({{"scanning", true}, {"mine", false}}));
  EXPECT_EQ(Reason(first->Ask("document.pdf")), "busy");

  first.reset();  // the page reloads
  for (int i = 0; i < 100 && desk.scans.Scanning(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_FALSE(desk.scans.Scanning());
  Page reloaded(desk, "https://a.example");
  EXPECT_EQ(reloaded.Ask("document.pages")["result"].size(), 2u);
}

TEST(Conversation, ScannerFaultKeepsThePagesThatArrived) {
  Desk desk;
  desk.scanners.fault = rpc::ErrorReason::kScanner;
  Page page(desk, "https://a.example");
  const json answer = page.Ask("scanner.scan");
  EXPECT_EQ(Reason(answer), "scanner");
  EXPECT_TRUE(page.channel->WaitFor([](const json& m) { return m.value("method", "") == "scan.status"; }));
  EXPECT_EQ(page.Ask("document.pages")["result"].size(), 3u);
}

TEST(Conversation, EditsTheDocumentAndBindsIt) {
  Desk desk;
  Page page(desk, "https://a.example");
  EXPECT_EQ(Reason(page.Ask("document.pdf")), "no-pages");
  page.Ask("scanner.scan");
  json pages = page.Ask("document.pages")["result"];
  ASSERT_EQ(pages.size(), 3u);
  const std::string first = pages[0]["id"], last = pages[2]["id"];

  pages = page.Ask("document.move", {{"id", last}, {"to", 0}})["result"];
  EXPECT_EQ(pages[0]["id"], last);
  EXPECT_EQ(Reason(page.Ask("document.move", {{"id", last}, {"to", 3}})), "bad-request");
  pages = page.Ask("document.remove", {{"id", first}})["result"];
  EXPECT_EQ(pages.size(), 2u);
  EXPECT_EQ(Reason(page.Ask("document.remove", {{"id", first}})), "not-found");
  EXPECT_EQ(Reason(page.Ask("document.png", {{"id", first}})), "not-found");

  const json png = page.Ask("document.png", {{"id", last}})["result"];
  EXPECT_EQ(png["type"], "image/png");
  const json pdf = page.Ask("document.pdf", {{"title", "投标文件"}, {"keep", true}})["result"];
  EXPECT_EQ(pdf["type"], "application/pdf");
  EXPECT_EQ(pdf["blob"].get<std::string>().rfind("/v1/blobs/", 0), 0u);
  EXPECT_GT(pdf["size"], 0);
  EXPECT_EQ(pdf["sha256"].get<std::string>().size(), 64u);

  EXPECT_EQ(page.Ask("document.clear")["result"], json::object());
  EXPECT_EQ(page.Ask("document.pages")["result"].size(), 0u);
}

TEST(Conversation, SealingNeedsAnInputOfThePagesOwnAndAPinWithTheToken) {
  Desk desk;
  Page page(desk, "https://a.example");
  EXPECT_EQ(Reason(page.Ask("crypt.encrypt", {{"input", "/v1/blobs/00"}, {"key", "empty"}})), "not-found");
  EXPECT_EQ(Reason(page.Ask("crypt.encrypt", {{"input", "/v1/blobs/00"}, {"key", "token"}})), "pin");
  // Without the token library the service still answers, and says so.
  const json status = page.Ask("token.status");
  EXPECT_EQ(status["result"]["present"], false);
}

}  // namespace
}  // namespace bidder::desk
