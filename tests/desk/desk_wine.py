#!/usr/bin/env python3
"""BidderDesk.exe under Wine, seen from a Linux page's side:
  desk_wine.py DESK.exe WINE_RUN LOCKVALE FT_ND_API.dll
hello with the origin's CORS headers, a session, no scanners, a blob sealed
with a pass phrase to exactly the bytes of the native lockvale (its work
directory in a folder whose name no ANSI code page holds), then a clean
stop through the stop file (the Windows build's scripted stop) with the work
directory emptied. A second run, with the stand-in token library named by
BIDDER_DESK_TOKEN_LIBRARY, reports the token library loaded and is stopped
by Ctrl+C: Wine turns SIGINT to the Windows process into the console's
control event.
The Linux client's connections belong to no Windows process, so the service
runs with --trust-unknown-peers. Exit 0 when it behaved, 1 with the reason."""
import json
import os
import random
import signal
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desk_client import fail  # noqa: E402
from desk_day import ORIGIN, Page, run  # noqa: E402

OTHER = "https://elsewhere.example"
# The Wine desk tests' own ports (the native ones keep below 32000).
FIRST_PORT, PORT_COUNT = 32000, 1000


def windows_path(path):
    """A Linux path as the Windows program names it: Wine's Z: drive is /."""
    return "Z:" + path.replace("/", "\\")


class WineService:
    def __init__(self, desk, wine_run, tmp, name, token_library=None):
        self.tmp = tmp
        # A user folder outside the ANSI code page: blobs stream through files there.
        home = os.path.join(tmp, name)
        os.makedirs(home)
        self.work = os.path.join(home, "work")
        self.log = os.path.join(home, "desk.log")
        self.stop_file = os.path.join(home, "stop")
        env = dict(os.environ)
        env.pop("BIDDER_DESK_TOKEN_LIBRARY", None)
        if token_library:
            env["BIDDER_DESK_TOKEN_LIBRARY"] = windows_path(token_library)
        for _ in range(5):
            self.port = FIRST_PORT + random.randrange(PORT_COUNT)
            self.proc = subprocess.Popen(
                [wine_run, desk, "--port", str(self.port), "--allow-origin", ORIGIN,
                 "--work-dir", windows_path(self.work), "--log", windows_path(self.log),
                 "--stop-file", windows_path(self.stop_file), "--trust-unknown-peers"],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env)
            if self.wait_listening():
                return
            if self.proc.wait(timeout=30) != 3:  # 3: the port is taken, try another
                break
        fail("BidderDesk.exe did not start: " + self.proc.stderr.read().decode(errors="replace"))

    def wait_listening(self):
        deadline = time.monotonic() + 60  # a cold Wine takes seconds
        while time.monotonic() < deadline:
            if os.path.exists(self.log):
                with open(self.log, encoding="utf-8", errors="replace") as f:
                    if f"listening on port {self.port}," in f.read():
                        return True
            if self.proc.poll() is not None:
                return False
            time.sleep(0.1)
        return False

    def windows_process(self):
        """The process of BidderDesk.exe itself: in a WoW64 prefix Wine
        starts an x64 program through its launcher, an x86 one directly."""
        marker = windows_path(self.log).encode()
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    args = f.read().split(b"\0")
            except OSError:
                continue
            if marker in args and args[0].lower().endswith(b"bidderdesk.exe"):
                return int(entry)
        fail("found no process of BidderDesk.exe")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()


def hello(port, origin):
    request = urllib.request.Request(f"http://127.0.0.1:{port}/v1/hello", headers={"Origin": origin})
    try:
        with urllib.request.urlopen(request, timeout=10) as answer:
            return answer.status, answer.headers, json.load(answer)
    except urllib.error.HTTPError as refused:
        return refused.code, refused.headers, None


def check_hello(service, token=False):
    status, headers, body = hello(service.port, ORIGIN)
    if status != 200 or headers.get("Access-Control-Allow-Origin") != ORIGIN or "Origin" not in headers.get("Vary", ""):
        fail(f"hello answered {status} with {dict(headers)}")
    if body.get("service") != "bidder-desk" or body.get("api") != 1 or body.get("scanners") != 0 or \
            body.get("token") is not token:
        fail("hello: " + json.dumps(body))
    status, headers, _ = hello(service.port, OTHER)
    if status != 403 or "Access-Control-Allow-Origin" in headers:
        fail(f"hello from an origin not allowed answered {status} with {dict(headers)}")


def check_session_and_seal(service, lockvale):
    page = Page(service)
    if len(page.key) != 32:
        fail("session.ready gave the key " + page.key)
    if page.result("scanner.list") != []:
        fail("scanner.list named scanners on a build without them")
    # Bytes of every value and more than one of the server's read pieces.
    data = bytes(random.randrange(256) for _ in range(300 * 1024)) + b"%PDF-1.4 the end\n"
    upload = page.blob_post(data)
    if upload.get("size") != len(data):
        fail("upload answered " + json.dumps(upload))
    sealed_ref = page.result("crypt.encrypt", input=upload["blob"], key="passphrase", passphrase="投标口令")
    sealed = page.blob_get(sealed_ref["blob"])
    plain_path = os.path.join(service.tmp, "bid.pdf")
    with open(plain_path, "wb") as f:
        f.write(data)
    native_path = os.path.join(service.tmp, "bid.sealed")
    run(lockvale, "encrypt", plain_path, native_path, "--pass", "投标口令")
    with open(native_path, "rb") as f:
        if f.read() != sealed:
            fail("the file sealed by BidderDesk.exe differs from lockvale's")
    if sealed_ref.get("size") != len(sealed):
        fail("the sealed blob's size is not its bytes': " + json.dumps(sealed_ref))
    page.close()


def check_stop(service, stop, stopped_by):
    stop()
    try:
        status = service.proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        fail("BidderDesk.exe did not stop: " + stopped_by)
    with open(service.log, encoding="utf-8", errors="replace") as f:
        log = f.read()
    if status != 0 or stopped_by not in log:
        fail(f"BidderDesk.exe ended with {status}; its log:\n{log}")
    left = sorted(os.listdir(service.work))
    if left != [".bidder-desk-work", ".lock"]:
        fail("the work directory was not emptied: " + ", ".join(left))
    if "投标口令" in log:
        fail("the log holds the pass phrase")


def main():
    if len(sys.argv) != 5:
        print(__doc__)
        return 2
    desk, wine_run, lockvale, token_library = sys.argv[1:]
    with tempfile.TemporaryDirectory(prefix="desk-wine-") as tmp:
        service = WineService(desk, wine_run, tmp, "用户 Ådne")
        try:
            check_hello(service)
            check_session_and_seal(service, lockvale)
            check_stop(service, lambda: open(service.stop_file, "w").close(), "stopped by the stop file")
        finally:
            service.kill()
        service = WineService(desk, wine_run, tmp, "ctrl-c", token_library)
        try:
            check_hello(service, token=True)
            check_stop(service, lambda: os.kill(service.windows_process(), signal.SIGINT),
                       "stopped by console event 0")
        finally:
            service.kill()
    print("desk.wine: hello, a session, no scanners, a seal as lockvale's, the token library loaded, clean stops by the stop file and Ctrl+C")
    return 0


if __name__ == "__main__":
    sys.exit(main())
