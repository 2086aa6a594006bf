"""A scripted stand-in for bidder-desk on one port, speaking its HTTP and
WebSocket protocol, for the library's paths the real service cannot be made
to take on demand: a download that arrives short or altered, the scanning
control's alerts and chooser, the order of pages and answers. Python's
standard library only."""
import base64
import hashlib
import http.server
import json
import os
import struct
import threading

PNG_1x1 = base64.b64decode(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==")


class FakeDesk:
    """Answers as the service would. `scanners`, `pages` and `pdf_bytes` set
    what it has; `damage` ("short", "digest") spoils the next download.
    `calls` records every request's method and params."""

    def __init__(self, port, origin):
        self.origin = origin
        self.key = os.urandom(16).hex()
        self.scanners = [{"id": "test:0", "name": "Test 0", "default": True}]
        self.pages = []
        self.pdf_bytes = b"%PDF-1.4 fake\n" * 100
        self.damage = None
        self.calls = []
        self.blobs = {}
        fake = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.1"

            def log_message(self, *args):
                pass

            def cors(self):
                self.send_header("Access-Control-Allow-Origin", fake.origin)
                self.send_header("Vary", "Origin")
                self.send_header("Cache-Control", "no-store")

            def answer(self, status, body=b"", kind="application/json"):
                self.send_response(status)
                self.cors()
                self.send_header("Content-Type", kind)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def allowed(self):
                if self.headers.get("Origin") == fake.origin:
                    return True
                self.send_response(403)
                self.send_header("Content-Length", "0")
                self.end_headers()
                return False

            def keyed(self):
                return self.headers.get("Authorization") == "Bearer " + fake.key

            def do_OPTIONS(self):
                self.send_response(204)
                self.cors()
                self.send_header("Access-Control-Allow-Methods", "GET, POST")
                self.send_header("Access-Control-Allow-Headers", "Authorization, Content-Type")
                self.send_header("Content-Length", "0")
                self.end_headers()

            def do_GET(self):
                if not self.allowed():
                    return
                if self.path == "/v1/hello":
                    hello = {"service": "bidder-desk", "version": "1.0.0", "api": 1, "instance": "fake",
                             "scanners": len(fake.scanners), "token": True, "features": [],
                             "limits": {"blobBytes": 1 << 20, "workBytes": 1 << 24}}
                    return self.answer(200, json.dumps(hello).encode())
                if self.path == "/v1/session":
                    return fake.session(self)
                data = fake.blobs.pop(self.path, None) if self.keyed() else None
                if data is None:
                    return self.answer(404, b"{}")
                self.answer(200, data, "application/octet-stream")

            def do_POST(self):
                if not self.allowed():
                    return
                body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
                if self.path != "/v1/blobs" or not self.keyed():
                    return self.answer(401, b"{}")
                ref = fake.store(body)
                self.answer(201, json.dumps({"blob": ref["blob"], "size": ref["size"]}).encode())

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler)
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.server.shutdown()
        self.server.server_close()

    def store(self, data, kind="application/octet-stream", damage=None):
        path = "/v1/blobs/" + os.urandom(16).hex()
        ref = {"blob": path, "size": len(data), "sha256": hashlib.sha256(data).hexdigest(), "type": kind}
        if damage == "short":
            data = data[:-1]
        elif damage == "digest":
            data = bytes([data[0] ^ 1]) + data[1:]
        self.blobs[path] = data
        return ref

    # The WebSocket session: session.ready, then one answer per request.
    def session(self, handler):
        accept = base64.b64encode(hashlib.sha1(
            (handler.headers["Sec-WebSocket-Key"] + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11").encode()).digest())
        handler.send_response(101)
        handler.send_header("Upgrade", "websocket")
        handler.send_header("Connection", "Upgrade")
        handler.send_header("Sec-WebSocket-Accept", accept.decode())
        handler.cors()
        handler.end_headers()
        handler.close_connection = True

        def send(message):
            payload = json.dumps(message, ensure_ascii=False).encode()
            header = bytes([0x81]) + (bytes([len(payload)]) if len(payload) < 126 else
                                      bytes([126]) + struct.pack(">H", len(payload)))
            handler.wfile.write(header + payload)
            handler.wfile.flush()

        send({"jsonrpc": "2.0", "method": "session.ready", "params": {"key": self.key, "instance": "fake", "api": 1}})
        while True:
            head = handler.rfile.read(2)
            if len(head) < 2 or head[0] & 0x0F == 8:
                return
            length = head[1] & 0x7F
            if length == 126:
                length = struct.unpack(">H", handler.rfile.read(2))[0]
            mask = handler.rfile.read(4)
            data = bytes(b ^ mask[i % 4] for i, b in enumerate(handler.rfile.read(length)))
            request = json.loads(data)
            self.calls.append((request["method"], request.get("params", {})))
            for message in self.respond(request):
                send(message)

    def respond(self, request):
        method, params, rid = request["method"], request.get("params", {}), request["id"]

        def result(value):
            return {"jsonrpc": "2.0", "id": rid, "result": value}

        def error(code, reason, message):
            return {"jsonrpc": "2.0", "id": rid, "error": {"code": code, "message": message, "data": {"reason": reason}}}

        if method == "scanner.list":
            return [result(self.scanners)]
        if method == "scanner.scan":
            added = []
            for i in range(2):
                page = {"id": f"p{len(self.pages) + 1}", "index": len(self.pages), "width": 1, "height": 1,
                        "resolution": 150, "mode": "gray",
                        "thumbnail": "data:image/png;base64," + base64.b64encode(PNG_1x1).decode()}
                self.pages.append(page)
                added.append({"jsonrpc": "2.0", "method": "scan.page", "params": page})
            return added + [result({"added": 2, "total": len(self.pages)})]
        if method == "document.pages":
            return [result(self.pages)]
        if method in ("document.pdf", "document.png"):
            if not self.pages:
                return [error(1004, "no-pages", "请先扫描文件。")]
            data, kind = (self.pdf_bytes, "application/pdf") if method == "document.pdf" else (PNG_1x1, "image/png")
            ref = self.store(data, kind, self.damage)
            self.damage = None
            if method == "document.pdf":
                self.pages = []
            return [result(ref)]
        if method == "crypt.encrypt":
            data = self.blobs.pop(params.get("input"), None)
            if data is None:
                return [error(1011, "not-found", "找不到请求的页面或文件。")]
            if params.get("pin") != "1234":
                return [error(1006, "pin", "PIN码错误")]
            return [result(self.store(data[::-1]))]
        return [error(-32601, "unknown-method", "服务不支持此操作。")]
