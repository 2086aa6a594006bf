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
        while True:
            opcode, payload = self.receive()
            if opcode == 1:
                return json.loads(payload.decode("utf-8"))
            if opcode == 8:
                fail("the service closed the session")

    def send_text(self, text):
        payload = text.encode("utf-8")
        mask = os.urandom(4)
        header = bytes([0x81])
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
    elif command == "hold":
        hold([int(p) for p in args])
    else:
        fail("unknown command " + command)


if __name__ == "__main__":
    main()
