// The server in this process with a backend of the test's own: what a page
// cannot reach from outside yet (outputs to download), and what only the
// backend sees (when a session's handler goes).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "desk/blobs/blob_store.h"
#include "desk/server/server.h"
#include "support/temp_dir.h"

namespace bidder::desk {
namespace {

using namespace std::chrono_literals;
constexpr char kOrigin[] = "http://127.0.0.1:8000";

class FakeBackend final : public DeskBackend {
 public:
  explicit FakeBackend(const std::filesystem::path& folder) : store_(folder, 1 << 30) {}

  std::string HelloJson() const override { return "{}"; }
  std::string SessionReadyJson(const SessionContext& session) const override {
    std::lock_guard lock(mutex_);
    keys_.push_back(session.sessionKey);
    changed_.notify_all();
    return "{}";
  }
  std::unique_ptr<MessageHandler> OpenSession(const SessionContext&, std::shared_ptr<SessionChannel>) override {
    std::lock_guard lock(mutex_);
    ++handlers_;
    return std::make_unique<Handler>(*this);
  }
  BlobStore& Blobs() override { return store_; }

  // The key of the n-th session (from 0) once it is open.
  std::string KeyOf(std::size_t n) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, 5s, [&] { return keys_.size() > n; });
    return keys_.size() > n ? keys_[n] : std::string();
  }
  bool WaitForHandlers(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 5s, [&] { return handlers_ == count; });
  }

 private:
  class Handler final : public MessageHandler {
   public:
    explicit Handler(FakeBackend& backend) : backend_(backend) {}
    ~Handler() override {
      std::lock_guard lock(backend_.mutex_);
      --backend_.handlers_;
      backend_.changed_.notify_all();
    }
    std::string OnMessage(std::string_view) override { return {}; }

   private:
    FakeBackend& backend_;
  };

  BlobStore store_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  mutable std::vector<std::string> keys_;
  int handlers_ = 0;
};

// A blocking loopback client: whole requests out, answers read to their end.
class Client {
 public:
  explicit Client(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{5, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~Client() { ::close(fd_); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  bool connected() const { return connected_; }
  void Send(const std::string& text) { ASSERT_EQ(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size())); }

  // The head up to its blank line, then `Content-Length` bytes of body.
  std::pair<std::string, std::string> Receive() {
    while (pending_.find("\r\n\r\n") == std::string::npos && Fill()) {
    }
    const std::size_t end = pending_.find("\r\n\r\n");
    if (end == std::string::npos) return {};
    std::string head = pending_.substr(0, end + 2);
    pending_.erase(0, end + 4);
    std::size_t length = 0;
    if (const std::size_t at = head.find("Content-Length: "); at != std::string::npos) {
      length = std::stoul(head.substr(at + 16));
    }
    while (pending_.size() < length && Fill()) {
    }
    std::string body = pending_.substr(0, length);
    pending_.erase(0, body.size());
    return {head, body};
  }

 private:
  bool Fill() {
    char buffer[65536];
    const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    pending_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  int fd_;
  bool connected_ = false;
  std::string pending_;
};

class DeskServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<RefusedOrigin> refused;
    ASSERT_TRUE(origins.AddValue(kOrigin, refused));
    config.origins = &origins;
    config.peerCheck = [](std::intptr_t) { return PeerDecision{true, "test"}; };
    // Ports of its own among the desk tests (service_test.sh 10000-19999,
    // desk_day.py 20000-25999), below the kernel's ephemeral ports and far
    // from the range the page library probes.
    const auto first = static_cast<std::uint16_t>(std::random_device()() % 600 * 10 + 26000);
    for (std::uint16_t port = first; port < first + 10; ++port) config.ports.push_back(port);
    OpenError error = OpenError::kNone;
    std::string message;
    server = DeskServer::Open(config, backend, error, message);
    ASSERT_TRUE(server) << message;
    runner = std::thread([this] { server->Run(); });
  }
  void TearDown() override {
    if (server) server->Stop();
    if (runner.joinable()) runner.join();
  }

  std::string Head(const std::string& method, const std::string& path, const std::string& extra = {}) const {
    return method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server->Port()) +
           "\r\nOrigin: " + kOrigin + "\r\n" + extra + "\r\n";
  }
  // A page's WebSocket session, open until the client goes.
  std::unique_ptr<Client> OpenSession() {
    auto client = std::make_unique<Client>(server->Port());
    client->Send(Head("GET", "/v1/session",
                      "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"));
    EXPECT_NE(client->Receive().first.find(" 101 "), std::string::npos);
    return client;
  }
  BlobRef AddOutput(const std::string& key, const std::string& bytes, std::function<void()> onDownloaded = {}) {
    PendingFile file = backend.Blobs().NewPendingFile();
    test::WriteFile(file.path().string(), bytes);
    return backend.Blobs().AddOutput({kOrigin, key}, std::move(file), "application/pdf", std::move(onDownloaded));
  }

  test::TempDir temp;
  FakeBackend backend{temp.path() / "blobs"};
  OriginList origins;
  ServerConfig config;
  std::unique_ptr<DeskServer> server;
  std::thread runner;
};

TEST_F(DeskServerTest, AnOutputIsStreamedOnceToItsSessionThenGoes) {
  const auto page = OpenSession();
  const auto otherPage = OpenSession();
  const std::string key = backend.KeyOf(0);
  const std::string otherKey = backend.KeyOf(1);
  ASSERT_FALSE(key.empty() || otherKey.empty());

  std::string large(3 << 20, '\0');
  std::mt19937 random(7);
  for (char& c : large) c = static_cast<char>(random());
  std::atomic<int> downloads{0};
  const BlobRef ref = AddOutput(key, large, [&] { ++downloads; });

  Client client(server->Port());
  client.Send(Head("GET", ref.url, "Authorization: Bearer " + otherKey + "\r\n"));
  EXPECT_NE(client.Receive().first.find(" 404 "), std::string::npos) << "another page's blob";
  client.Send(Head("GET", ref.url, "Authorization: Bearer " + key + "\r\n"));
  const auto [head, body] = client.Receive();
  EXPECT_NE(head.find(" 200 "), std::string::npos) << head;
  EXPECT_NE(head.find("Content-Type: application/pdf\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("Content-Length: " + std::to_string(large.size()) + "\r\n"), std::string::npos) << head;
  EXPECT_NE(head.find("Access-Control-Allow-Origin: " + std::string(kOrigin)), std::string::npos) << head;
  EXPECT_TRUE(body == large) << "the downloaded bytes differ";

  // Used: gone, on the same connection too.
  client.Send(Head("GET", ref.url, "Authorization: Bearer " + key + "\r\n"));
  EXPECT_NE(client.Receive().first.find(" 404 "), std::string::npos);
  EXPECT_EQ(downloads, 1);
}

TEST_F(DeskServerTest, WhenASessionEndsItsHandlerAndBlobsGoAndItsKeyOpensNothing) {
  auto page = OpenSession();
  const std::string key = backend.KeyOf(0);
  ASSERT_TRUE(backend.WaitForHandlers(1));
  const BlobRef ref = AddOutput(key, "%PDF-1.4");
  const std::string id = ref.url.substr(ref.url.rfind('/') + 1);

  page.reset();  // the page goes without a word, as a closed tab's does
  EXPECT_TRUE(backend.WaitForHandlers(0)) << "the handler outlived its session";
  EXPECT_FALSE(backend.Blobs().FindDownload({kOrigin, key}, id));
  Client client(server->Port());
  client.Send(Head("GET", ref.url, "Authorization: Bearer " + key + "\r\n"));
  EXPECT_NE(client.Receive().first.find(" 401 "), std::string::npos);
}

}  // namespace
}  // namespace bidder::desk
