#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <sddl.h>

#include <cstring>
#include <vector>

#include "desk/service/same_user.h"
#include "text/codepage_win32.h"

namespace bidder::desk {
namespace {

struct HandleClose {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleClose>;

struct LocalMemoryFree {
  void operator()(void* memory) const { LocalFree(memory); }
};

// The table of one address family's connections with their owning process;
// empty when the system will not give it.
std::vector<unsigned char> TcpTable(ULONG family) {
  std::vector<unsigned char> table(16 * 1024);
  for (int attempt = 0; attempt < 4; ++attempt) {  // connections come and go between the calls
    DWORD size = static_cast<DWORD>(table.size());
    const DWORD result =
        GetExtendedTcpTable(table.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
    if (result == NO_ERROR) return table;
    if (result != ERROR_INSUFFICIENT_BUFFER) return {};
    table.resize(size + 4096);
  }
  return {};
}

// The process whose socket has `peer` as its own end and `service` as the
// other; empty when none or several disagree. Ports compare in network byte
// order, as both the table and the socket addresses hold them.
std::optional<DWORD> OwnerPid4(const sockaddr_in& service, const sockaddr_in& peer) {
  const std::vector<unsigned char> buffer = TcpTable(AF_INET);
  if (buffer.empty()) return std::nullopt;
  const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
  std::optional<DWORD> owner;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_TCPROW_OWNER_PID& row = table->table[i];
    if (row.dwState == MIB_TCP_STATE_TIME_WAIT) continue;
    if (row.dwLocalAddr != peer.sin_addr.s_addr || static_cast<u_short>(row.dwLocalPort) != peer.sin_port ||
        row.dwRemoteAddr != service.sin_addr.s_addr || static_cast<u_short>(row.dwRemotePort) != service.sin_port) {
      continue;
    }
    if (owner && *owner != row.dwOwningPid) return std::nullopt;
    owner = row.dwOwningPid;
  }
  return owner;
}

std::optional<DWORD> OwnerPid6(const sockaddr_in6& service, const sockaddr_in6& peer) {
  const std::vector<unsigned char> buffer = TcpTable(AF_INET6);
  if (buffer.empty()) return std::nullopt;
  const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buffer.data());
  std::optional<DWORD> owner;
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const MIB_TCP6ROW_OWNER_PID& row = table->table[i];
    if (row.dwState == MIB_TCP_STATE_TIME_WAIT) continue;
    if (std::memcmp(row.ucLocalAddr, &peer.sin6_addr, 16) != 0 ||
        static_cast<u_short>(row.dwLocalPort) != peer.sin6_port ||
        std::memcmp(row.ucRemoteAddr, &service.sin6_addr, 16) != 0 ||
        static_cast<u_short>(row.dwRemotePort) != service.sin6_port) {
      continue;
    }
    if (owner && *owner != row.dwOwningPid) return std::nullopt;
    owner = row.dwOwningPid;
  }
  return owner;
}

std::optional<std::string> TokenUserSid(HANDLE token) {
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size == 0) return std::nullopt;
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return std::nullopt;
  const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.data());
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(user->User.Sid, &text)) return std::nullopt;
  const std::unique_ptr<void, LocalMemoryFree> owned(text);
  return WideToCodePage(text, CP_UTF8);
}

std::optional<std::string> ProcessUserSid(DWORD pid) {
  if (pid == GetCurrentProcessId()) return ServiceUserSid();
  if (pid == 0) return std::nullopt;  // the system idle process: no one's
  UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return std::nullopt;
  HANDLE token = nullptr;
  if (!OpenProcessToken(process.get(), TOKEN_QUERY, &token)) return std::nullopt;
  const UniqueHandle ownedToken(token);
  return TokenUserSid(token);
}

}  // namespace

std::optional<std::string> ServiceUserSid() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return std::nullopt;
  const UniqueHandle ownedToken(token);
  return TokenUserSid(token);
}

std::optional<std::string> FindPeerOwnerSid(std::intptr_t nativeSocket) {
  const auto socket = static_cast<SOCKET>(nativeSocket);
  sockaddr_storage service{}, peer{};
  int serviceLength = sizeof service, peerLength = sizeof peer;
  if (getsockname(socket, reinterpret_cast<sockaddr*>(&service), &serviceLength) != 0 ||
      getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0 || service.ss_family != peer.ss_family) {
    return std::nullopt;
  }
  std::optional<DWORD> pid;
  if (service.ss_family == AF_INET) {
    pid = OwnerPid4(reinterpret_cast<const sockaddr_in&>(service), reinterpret_cast<const sockaddr_in&>(peer));
  } else if (service.ss_family == AF_INET6) {
    pid = OwnerPid6(reinterpret_cast<const sockaddr_in6&>(service), reinterpret_cast<const sockaddr_in6&>(peer));
  }
  if (!pid) return std::nullopt;
  return ProcessUserSid(*pid);
}

PeerCheck SameUserCheck(bool trustUnknownOwner, PeerOwnerLookup lookup) {
  return [trustUnknownOwner, lookup = std::move(lookup), serviceSid = ServiceUserSid().value_or(std::string())](
             std::intptr_t nativeSocket) {
    return JudgePeerSid(lookup(nativeSocket), serviceSid, trustUnknownOwner);
  };
}

PeerCheck SameUserCheck(bool trustUnknownOwner) { return SameUserCheck(trustUnknownOwner, FindPeerOwnerSid); }

}  // namespace bidder::desk
