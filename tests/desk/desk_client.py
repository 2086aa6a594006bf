#!/usr/bin/env python3
"""A page's side of the desk service in a few lines, without extra modules:
a raw WebSocket client, many idle connections, a slow sender, and a holder
of ports. Each command prints what it saw and exits 0 when the service
behaved, 1 with a message when not."""
import base64
import json
import os
import socket
import struct
import sys
import time


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def connect(port):
    sock = socket.create_connection(("127.0.0.1", port), timeout=5)
    return sock


def read_head(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(4096)
        if not chunk:
            break
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    return head.decode("latin-1"), rest


class WebSocket:
    def __init__(self, sock, pending):
        self.sock, self.pending = sock, pending

    def recv_exact(self, n):
        while len(self.pending) < n:
            chunk = self.sock.recv(65536)
            if not chunk:
                fail("the service closed the session")
            self.pending += chunk
        data, self.pending = self.pending[:n], self.pending[n:]
        return data

    def receive(self):
        first, second = self.recv_exact(2)
        length = second & 0x7F
        if length == 126:
            length = struct.unpack(">H", self.recv_exact(2))[0]
        elif length == 127:
            length = struct.unpack(">Q", self.recv_exact(8))[0]
        if second & 0x80:
            fail("a frame from the server was masked")
        return first & 0x0F, self.recv_exact(length)

    def receive_text(self):
        """One whole text message, its fragments (continuation frames) joined."""
        message = None
        while True:
            first = self.recv_exact(1)[0]
            self.pending = bytes([first]) + self.pending
            fin = first & 0x80
            opcode, payload = self.receive()
            if opcode == 8:
                fail("the service closed the session")
            if opcode == 1:
                message = payload
            elif opcode == 0 and message is not None:
                message += payload
            elif opcode == 9:  # a ping: answered, as browsers do, or the service ends an idle session
                self.send_frame(0x8A, payload)
                continue
            else:
                continue  # a pong
            if fin:
                return json.loads(message.decode("utf-8"))

    def send_text(self, text):
        self.send_frame(0x81, text.encode("utf-8"))

    def send_frame(self, first, payload):
        mask = os.urandom(4)
        header = bytes([first])
        if len(payload) < 126:
            header += bytes([0x80 | len(payload)])
        elif len(payload) < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", len(payload))
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", len(payload))
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(header + mask + masked)


def upgrade(port, origin):
    sock = connect(port)
    key = base64.b64encode(os.urandom(16)).decode()
    request = (
        f"GET /v1/session HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nOrigin: {origin}\r\n"
        f"Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: {key}\r\n"
        "Sec-WebSocket-Version: 13\r\n\r\n"
    )
    sock.sendall(request.encode())
    head, rest = read_head(sock)
    return sock, head, rest


def session(port, origin, instance):
    """session.ready first, then an unknown method answered with its id; a
    notification gets no answer; an oversized message ends the session."""
    sock, head, rest = upgrade(port, origin)
    status = head.split("\r\n")[0]
    if " 101 " not in status:
        fail("upgrade answered " + status)
    if f"access-control-allow-origin: {origin}" not in head.lower():
        fail("the upgrade lacks the CORS header: " + head)
    ws = WebSocket(sock, rest)
    ready = ws.receive_text()
    if ready.get("method") != "session.ready" or "id" in ready:
        fail("first message is not the session.ready notification: " + json.dumps(ready))
    params = ready["params"]
    key = params.get("key", "")
    if len(key) != 32 or any(c not in "0123456789abcdef" for c in key):
        fail("key is not 128 bits of hex: " + key)
    if params.get("instance") != instance or params.get("api") != 1:
        fail("session.ready params: " + json.dumps(params))
    ws.send_text('{"jsonrpc":"2.0","method":"page.hello"}')
    ws.send_text('{"jsonrpc":"2.0","id":7,"method":"scanner.fly","params":{}}')
    answer = ws.receive_text()
    if answer.get("id") != 7 or answer.get("error", {}).get("code") != -32601 or "result" in answer:
        fail("unknown method answered: " + json.dumps(answer))
    # A message beyond the bound ends the session (close code 1009, too big).
    ws.send_text('{"jsonrpc":"2.0","id":8,"method":"x","params":{"pad":"' + "a" * 70000 + '"}}')
    opcode, payload = ws.receive()
    if opcode != 8 or payload[:2] != struct.pack(">H", 1009):
        fail("an oversized message got opcode %d %r" % (opcode, payload[:20]))
    print(key)  # for the caller to look for in the log


def open_session(port, origin):
    """A WebSocket session past session.ready: (the socket, its key)."""
    sock, head, rest = upgrade(port, origin)
    if " 101 " not in head.split("\r\n")[0]:
        fail("upgrade answered " + head.split("\r\n")[0])
    ready = WebSocket(sock, rest).receive_text()
    return sock, ready["params"]["key"]


def send_request(port, method, path, origin, key=None, length=None, body=b"", extra=()):
    """Sends a request's headers and `body` (which may fall short of
    `length`); returns the open socket."""
    lines = [f"{method} {path} HTTP/1.1", f"Host: 127.0.0.1:{port}", f"Origin: {origin}"]
    if key is not None:
        lines.append(f"Authorization: Bearer {key}")
    if length is not None:
        lines.append(f"Content-Length: {length}")
    lines += list(extra)
    sock = connect(port)
    sock.sendall(("\r\n".join(lines) + "\r\n\r\n").encode() + body)
    return sock


def read_response(sock):
    """(status, lower-case headers, body) of one answer; status 0 when the
    connection ended without one."""
    try:
        head, body = read_head(sock)
    except ConnectionResetError:
        return 0, {}, b""
    if not head:
        return 0, {}, b""
    lines = head.split("\r\n")
    headers = dict(line.lower().split(": ", 1) for line in lines[1:] if ": " in line)
    while len(body) < int(headers.get("content-length", 0)):
        chunk = sock.recv(65536)
        if not chunk:
            break
        body += chunk
    return int(lines[0].split()[1]), headers, body


def blob_request(port, method, path, origin, key=None, length=None, body=b"", extra=()):
    sock = send_request(port, method, path, origin, key, length, body, extra)
    answer = read_response(sock)
    sock.close()
    return answer


def blob_files(work):
    folder = os.path.join(work, "blobs")
    return sorted(os.listdir(folder)) if os.path.isdir(folder) else []


def wait_for(condition, seconds=3):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.05)
    return condition()


def upload(port, origin, key, data, extra=()):
    status, headers, body = blob_request(port, "POST", "/v1/blobs", origin, key, len(data), data, extra)
    if status != 201 or headers.get("content-type") != "application/json":
        fail("an upload answered %d %r" % (status, body[:200]))
    answer = json.loads(body)
    if set(answer) != {"blob", "size"} or answer["size"] != len(data):
        fail("an upload's answer: %r" % body)
    return answer["blob"]


def high_water_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    fail("no VmHWM for process %s" % pid)


def blobs(port, origin, other_origin, work, pid, body_pause):
    """Uploads as a page makes them, and every way one is refused or cut:
    the checks on the headers, limits, short bodies, ended sessions, and a
    large upload that streams to disk instead of into memory."""
    page, key = open_session(port, origin)
    other_page, other_key = open_session(port, origin)
    foreign_page, foreign_key = open_session(port, other_origin)
    stranger = "0123456789abcdef" * 2
    post = "POST", "/v1/blobs"

    # Refused on the headers: answered at once, although the body never comes.
    for why, (method, path), sender, bearer, length, want in [
        ("no key", post, origin, None, 10, 401),
        ("a key of no session", post, origin, stranger, 10, 401),
        ("a key of another origin's session", post, other_origin, key, 10, 401),
        ("over the limit", post, origin, key, 4 * 2**30 + 1, 413),
        ("no length", post, origin, key, None, 411),
        ("a GET of no blob", ("GET", "/v1/blobs/" + stranger), origin, key, None, 404),
        ("a GET of the blob store", ("GET", "/v1/blobs"), origin, key, None, 405),
    ]:
        extra = ["Transfer-Encoding: chunked"] if why == "no length" else []
        sock = send_request(port, method, path, sender, bearer, length, extra=extra)
        sock.settimeout(5)
        status, headers, _ = read_response(sock)
        if status != want:
            fail("%s: answered %d, not %d" % (why, status, want))
        if status == 401 and headers.get("www-authenticate") != "bearer":
            fail("%s: a 401 without WWW-Authenticate: Bearer" % why)
    if blob_files(work):
        fail("refused uploads left files: %r" % blob_files(work))

    # An upload belongs to its session: nobody downloads it, not even its
    # own page (inputs are consumed by requests), and nobody else sees it.
    url = upload(port, origin, key, b"sealed bytes")
    if blob_files(work) != [url.rsplit("/", 1)[1]]:
        fail("the upload is not the one file named by its id: %r" % blob_files(work))
    with open(os.path.join(work, "blobs", url.rsplit("/", 1)[1]), "rb") as stored:
        if stored.read() != b"sealed bytes":
            fail("the stored upload differs from what was sent")
    for who, sender, bearer in [("its own page", origin, key), ("another page", origin, other_key),
                                ("another origin", other_origin, foreign_key)]:
        status, _, _ = blob_request(port, "GET", url, sender, bearer)
        if status != 404:
            fail("a GET of an upload by %s answered %d" % (who, status))
    # A client that asks before sending (curl, for large bodies) is told to go on.
    sock = send_request(port, *post, origin, other_key, 5, extra=["Expect: 100-continue"])
    if b" 100 " not in sock.recv(4096).split(b"\r\n")[0]:
        fail("no 100 Continue")
    sock.sendall(b"hello")
    if read_response(sock)[0] != 201:
        fail("an upload after 100 Continue")
    kept = set(blob_files(work))

    # A body shorter than declared: the file goes, whether the page hangs up
    # or goes quiet (then the service hangs up after its pause).
    sock = send_request(port, *post, origin, key, 1000, b"x" * 10)
    sock.close()
    if not wait_for(lambda: set(blob_files(work)) == kept):
        fail("a broken-off upload left %r" % (set(blob_files(work)) - kept))
    sock = send_request(port, *post, origin, key, 1000, b"x" * 10)
    sock.settimeout(body_pause + 10)
    started = time.monotonic()
    if read_response(sock)[0] != 0:
        fail("a short body was answered")
    if time.monotonic() - started < body_pause - 1:
        fail("a quiet upload was cut after %.1f s" % (time.monotonic() - started))
    if not wait_for(lambda: set(blob_files(work)) == kept):
        fail("a short upload left %r" % (set(blob_files(work)) - kept))

    # 200 MB streams through to the disk: the service's memory stays small.
    size = 200 * 2**20
    sock = send_request(port, *post, origin, key, size)
    piece = os.urandom(2**20)
    for _ in range(size // len(piece)):
        sock.sendall(piece)
    status, _, body = read_response(sock)
    if status != 201 or json.loads(body)["size"] != size:
        fail("the large upload answered %d %r" % (status, body[:200]))
    high_water = high_water_kib(pid)
    # Under AddressSanitizer freed buffers wait in quarantine: no measure there.
    if high_water >= 64 * 1024 and not os.environ.get("BIDDER_SANITIZED"):
        fail("the service's memory rose to %d KiB for a 200 MB upload" % high_water)

    # An upload under way when its session ends is cut, and leaves nothing.
    sock = send_request(port, *post, origin, other_key, 10 * 2**20, piece)
    time.sleep(0.2)
    other_page.close()
    sock.settimeout(5)
    try:
        sock.sendall(piece * 9)
        status = read_response(sock)[0]
    except (BrokenPipeError, ConnectionResetError):
        status = 0
    if status != 0:
        fail("an upload outlived its session: answered %d" % status)

    # Every blob ends with its session.
    page.close()
    foreign_page.close()
    if not wait_for(lambda: blob_files(work) == []):
        fail("blobs outlived their sessions: %r" % blob_files(work))
    print("high water %d KiB" % high_water)


def upgrade_refused(port, origin):
    sock, head, _ = upgrade(port, origin)
    if " 403 " not in head.split("\r\n")[0] or "access-control" in head.lower():
        fail("an upgrade from " + origin + " answered " + head)


def connection_limit(port, origin, places):
    """Every place taken by an idle connection: the next one is closed
    unanswered; once one is freed, requests are served again."""
    idle = [connect(port) for _ in range(places)]
    time.sleep(0.3)
    request = f"GET /v1/hello HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nOrigin: {origin}\r\n\r\n".encode()
    extra = connect(port)
    try:
        extra.sendall(request)
        head, _ = read_head(extra)
    except (ConnectionResetError, BrokenPipeError):
        head = ""
    if head:
        fail("a connection over the limit was answered: " + head)
    idle.pop().close()
    time.sleep(0.3)
    again = connect(port)
    again.sendall(request)
    head, _ = read_head(again)
    if " 200 " not in head.split("\r\n")[0]:
        fail("after a place was freed: " + head)


def slow_headers(port, seconds_allowed):
    """Headers begun and never finished: the service closes the connection
    unanswered within the time it allows for headers."""
    sock = connect(port)
    sock.settimeout(seconds_allowed + 5)
    sock.sendall(b"GET /v1/hello HTTP/1.1\r\nHost: 127.0.0.1\r\n")
    started = time.monotonic()
    try:
        data = sock.recv(4096)
    except socket.timeout:
        fail("the connection was still open after %d s" % (seconds_allowed + 5))
    if data:
        fail("answered a request whose headers never ended: %r" % data[:80])
    print("closed after %.1f s" % (time.monotonic() - started))


def hold(ports):
    """Listens on the ports (127.0.0.1) until stdin closes."""
    held = []
    for port in ports:
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        sock.bind(("127.0.0.1", port))
        sock.listen(1)
        held.append(sock)
    print("holding", flush=True)
    sys.stdin.read()


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "session":
        session(int(args[0]), args[1], args[2])
    elif command == "upgrade-refused":
        upgrade_refused(int(args[0]), args[1])
    elif command == "connection-limit":
        connection_limit(int(args[0]), args[1], int(args[2]))
    elif command == "slow-headers":
        slow_headers(int(args[0]), int(args[1]))
    elif command == "blobs":
        blobs(int(args[0]), args[1], args[2], args[3], int(args[4]), int(args[5]))
    elif command == "hold":
        hold([int(p) for p in args])
    else:
        fail("unknown command " + command)


if __name__ == "__main__":
    main()
