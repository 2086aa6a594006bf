#!/usr/bin/env python3
"""The real bidder-desk with SANE's own test scanner, driven as a page drives
it: JSON-RPC over the WebSocket, blobs over HTTP with the session's key.
One command a group of checks:
  desk_day.py day      DESK FOLVANE LOCKVALE   a scan, edits, a PDF, a seal
  desk_day.py faults   DESK                    closed pages, busy, SIGKILL, faults
  desk_day.py cycles   DESK [--no-memory]      1000 sessions: memory and descriptors flat
Exit 0 when the service behaved, 1 with the reason, 77 when SANE's test
backend or a checker is missing."""
import atexit
import json
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
from desk_client import WebSocket, fail, upgrade  # noqa: E402
from pnm_image import read_pnm  # noqa: E402

ORIGIN = "http://127.0.0.1:8000"
OTHER_ORIGIN = "http://127.0.0.1:8001"
FEEDER = "Automatic Document Feeder"


def skip(why):
    print("SKIP: " + why)
    sys.exit(77)


def sane_config(folder, **options):
    """A SANE configuration with the test backend alone (one device), its
    defaults changed by `options` (test.conf's names, '_' for '-')."""
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "dll.conf"), "w") as f:
        f.write("test\n")
    settings = {"number_of_devices": "1", "test-picture": '"Color pattern"', "resolution": "75.0"}
    settings.update({k.replace("_", "-"): v for k, v in options.items()})
    with open("/etc/sane.d/test.conf") as f:
        lines = [line.rstrip("\n") for line in f]
    out = []
    for line in lines:
        name = line.split()[0] if line.strip() and not line.startswith("#") else None
        if name in settings:
            out.append(f"{name} {settings.pop(name)}")
        else:
            out.append(line)
    out += [f"{k} {v}" for k, v in settings.items()]
    with open(os.path.join(folder, "test.conf"), "w") as f:
        f.write("\n".join(out) + "\n")
    return folder


STARTED = []


@atexit.register
def _stop_all():
    for proc in STARTED:
        if proc.poll() is None:
            proc.kill()
            proc.wait()


class Service:
    """bidder-desk on a port of its own, with a work directory and a log;
    killed at exit if a check failed first."""

    def __init__(self, desk, tmp, name, sane_dir, extra_env=None, work=None):
        self.desk, self.tmp, self.name = desk, tmp, name
        self.work = work or os.path.join(tmp, name + ".work")
        self.log = os.path.join(tmp, name + ".log")
        env = dict(os.environ, SANE_CONFIG_DIR=sane_dir, XDG_CONFIG_HOME=os.path.join(tmp, "config"))
        env.update(extra_env or {})
        # Ports of its own among the desk tests (service_test.sh takes
        # 10000-19999, desk_server_test 26000-31999); the next of ten when one is taken.
        base = 20000 + random.randrange(600) * 10
        self.proc = subprocess.Popen(
            [desk, "--first-port", str(base), "--allow-origin", ORIGIN, "--allow-origin", OTHER_ORIGIN,
             "--work-dir", self.work, "--log", self.log],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        STARTED.append(self.proc)
        self.port = None
        for _ in range(200):
            if os.path.exists(self.log):
                with open(self.log, encoding="utf-8", errors="replace") as f:
                    for line in f:
                        if "listening on port " in line:
                            self.port = int(line.split("listening on port ")[1].split(",")[0])
            if self.port or self.proc.poll() is not None:
                break
            time.sleep(0.05)
        if not self.port:
            fail("bidder-desk did not start: " + self.proc.stderr.read().decode(errors="replace"))

    def stop(self, sig=signal.SIGTERM):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        return self.proc.wait(timeout=30)

    def hello(self):
        request = urllib.request.Request(f"http://127.0.0.1:{self.port}/v1/hello", headers={"Origin": ORIGIN})
        with urllib.request.urlopen(request, timeout=5) as answer:
            return json.load(answer)


class Page:
    """One page's session: requests answered in order of their ids, every
    notification kept."""

    def __init__(self, service, origin=ORIGIN, timeout=120):
        self.service, self.origin = service, origin
        sock, head, rest = upgrade(service.port, origin)
        if " 101 " not in head.split("\r\n")[0]:
            fail("upgrade answered " + head.split("\r\n")[0])
        sock.settimeout(timeout)
        self.sock = sock
        self.ws = WebSocket(sock, rest)
        ready = self.ws.receive_text()
        self.key = ready["params"]["key"]
        self.instance = ready["params"]["instance"]
        self.notes = []
        self.next_id = 1

    def send(self, method, **params):
        request_id = self.next_id
        self.next_id += 1
        self.ws.send_text(json.dumps({"jsonrpc": "2.0", "id": request_id, "method": method, "params": params}))
        return request_id

    def answer(self, request_id):
        while True:
            message = self.ws.receive_text()
            if message.get("id") == request_id:
                return message
            self.notes.append(message)

    def ask(self, method, **params):
        return self.answer(self.send(method, **params))

    def result(self, method, **params):
        answer = self.ask(method, **params)
        if "result" not in answer:
            fail(f"{method} {params} answered {json.dumps(answer, ensure_ascii=False)}")
        return answer["result"]

    def wait_note(self, method, request_id=None):
        """The first notification `method`; an answer to `request_id` that
        comes first (a scan that failed at once) is a failure."""
        for note in self.notes:
            if note.get("method") == method:
                return note
        while True:
            message = self.ws.receive_text()
            if request_id is not None and message.get("id") == request_id:
                fail(f"waiting for {method}: " + json.dumps(message, ensure_ascii=False))
            self.notes.append(message)
            if message.get("method") == method:
                return message

    def blob_get(self, url):
        request = urllib.request.Request(f"http://127.0.0.1:{self.service.port}{url}", headers={
            "Origin": self.origin, "Authorization": "Bearer " + self.key})
        with urllib.request.urlopen(request, timeout=60) as answer:
            return answer.read()

    def blob_post(self, data):
        request = urllib.request.Request(f"http://127.0.0.1:{self.service.port}/v1/blobs", data=data, method="POST",
                                         headers={"Origin": self.origin, "Authorization": "Bearer " + self.key,
                                                  "Content-Type": "application/octet-stream"})
        with urllib.request.urlopen(request, timeout=60) as answer:
            return json.load(answer)

    def close(self):
        self.sock.close()


def reason(answer):
    return answer.get("error", {}).get("data", {}).get("reason")


def run(*command, **kwargs):
    done = subprocess.run(command, capture_output=True, **kwargs)
    if done.returncode != 0:
        fail(" ".join(command) + ": " + done.stderr.decode(errors="replace") + done.stdout.decode(errors="replace"))
    return done.stdout


def scanimage(args, env, attempts=3):
    """scanimage with `args`; SANE's test backend now and then deadlocks in
    its reader thread at the end of a page (the thread waits on a malloc lock
    as it exits), so a run that hangs is stopped and tried again."""
    for attempt in range(attempts):
        try:
            return subprocess.run(["scanimage", *args], env=env, check=True, capture_output=True, timeout=30)
        except subprocess.TimeoutExpired:
            if attempt + 1 == attempts:
                raise


def pnm_to_bmp(pnm, bmp, dpi=75):
    """A binary PPM or PGM (8 bits) as the bitmap file a scanner driver
    would hand over: 24-bit BGR or 8-bit grey ramp, bottom-up."""
    magic, width, height, maxval, pixels = read_pnm(pnm)
    if maxval != 255 or magic not in (b"P6", b"P5"):
        fail("unexpected PNM from scanimage")
    colour = magic == b"P6"
    row = width * (3 if colour else 1)
    stride = (row + 3) // 4 * 4
    table = b"" if colour else b"".join(bytes([i, i, i, 0]) for i in range(256))
    ppm = round(dpi * 10000 / 254)
    header = (40).to_bytes(4, "little") + width.to_bytes(4, "little") + height.to_bytes(4, "little", signed=True)
    header += (1).to_bytes(2, "little") + (24 if colour else 8).to_bytes(2, "little") + bytes(8)
    header += ppm.to_bytes(4, "little") * 2 + ((0 if colour else 256).to_bytes(4, "little")) + bytes(4)
    body = bytearray()
    for y in range(height - 1, -1, -1):
        line = pixels[y * row:(y + 1) * row]
        if colour:
            line = b"".join(line[i:i + 3][::-1] for i in range(0, len(line), 3))
        body += line + bytes(stride - row)
    offset = 14 + len(header) + len(table)
    size = offset + len(body)
    with open(bmp, "wb") as f:
        f.write(b"BM" + size.to_bytes(4, "little") + bytes(4) + offset.to_bytes(4, "little") + header + table + body)


def group_day(desk, folvane, lockvale, tmp):
    for tool in ("scanimage", "qpdf", "pdfinfo"):
        if not shutil.which(tool):
            skip(tool + " is missing")
    sane = sane_config(os.path.join(tmp, "sane"))
    service = Service(desk, tmp, "day", sane)
    hello = service.hello()
    if hello["scanners"] != 1:
        fail("hello: " + json.dumps(hello))
    page = Page(service)

    scanners = page.result("scanner.list")
    if [s["id"] for s in scanners] != ["test:0"] or not scanners[0]["default"]:
        fail("scanner.list: " + json.dumps(scanners))
    done = page.result("scanner.scan", resolution=75, mode="color", source="adf", compression="lossless")
    if done != {"added": 10, "total": 10}:
        fail("the feeder's ten pages: " + json.dumps(done))
    shown = [n["params"] for n in page.notes if n.get("method") == "scan.page"]
    if [p["index"] for p in shown] != list(range(10)):
        fail("scan.page for every page in order: %s" % [p["index"] for p in shown])
    if not all(p["thumbnail"].startswith("data:image/png;base64,") for p in shown):
        fail("a scan.page without its thumbnail")
    pages = page.result("document.pages")
    ids = [p["id"] for p in pages]
    if ids != [p["id"] for p in shown] or {p["mode"] for p in pages} != {"color"}:
        fail("document.pages: " + json.dumps(pages))

    # The page PNG is what the scanning control's tools make of scanimage's
    # own scan with the same settings: the same pixels, the same bytes.
    scanimage(["-d", "test:0", "--source", FEEDER, "--mode", "Color", "--resolution", "75", "--batch-count", "1",
               "--batch=" + os.path.join(tmp, "scan%d.pnm")], env=dict(os.environ, SANE_CONFIG_DIR=sane))
    pnm_to_bmp(os.path.join(tmp, "scan1.pnm"), os.path.join(tmp, "scan1.bmp"))
    run(folvane, "page", os.path.join(tmp, "scan1.bmp"), os.path.join(tmp, "scan1.tif"))
    run(folvane, "png", "-o", os.path.join(tmp, "scan1.png"), os.path.join(tmp, "scan1.tif"))
    with open(os.path.join(tmp, "scan1.PNG"), "rb") as f:
        expected_png = f.read()
    png = page.result("document.png", id=ids[0])
    if page.blob_get(png["blob"]) != expected_png:
        fail("the first page's PNG differs from scanimage's scan stored and exported by folvane")

    page.result("document.remove", id=ids[1])
    page.result("document.move", id=ids[9], to=0)
    other = Page(service)  # a second tab of the platform shares the document
    if [p["id"] for p in other.result("document.pages")] != [ids[9], ids[0]] + ids[2:9]:
        fail("the second tab sees another document")
    info = {"creator": "投标工具", "author": "某某建设有限公司", "title": "投标文件（商务部分）", "subject": "第3标段"}
    pdf_ref = page.result("document.pdf", **info)
    pdf = page.blob_get(pdf_ref["blob"])
    if len(pdf) != pdf_ref["size"]:
        fail("the PDF blob's size")
    import hashlib
    if hashlib.sha256(pdf).hexdigest() != pdf_ref["sha256"]:
        fail("the PDF blob's sha256")
    pdf_path = os.path.join(tmp, "bid.pdf")
    with open(pdf_path, "wb") as f:
        f.write(pdf)
    run("qpdf", "--check", pdf_path)
    pdfinfo = {}
    for line in run("pdfinfo", pdf_path).decode("utf-8", errors="replace").splitlines():
        name, _, value = line.partition(":")
        pdfinfo[name.strip()] = value.strip()
    expected = {"Pages": "9", "Title": info["title"], "Author": info["author"], "Subject": info["subject"],
                "Creator": info["creator"], "PDF version": "1.4"}
    for name, value in expected.items():
        if pdfinfo.get(name) != value:
            fail(f"pdfinfo {name}: {pdfinfo.get(name)!r}, expected {value!r}")
    # Downloaded whole: the document has ended, and every tab hears it.
    changed = other.wait_note("document.changed")
    deadline = time.monotonic() + 5
    while page.result("document.pages") and time.monotonic() < deadline:
        time.sleep(0.05)
    if page.result("document.pages"):
        fail("the document outlived its downloaded PDF")
    try:
        page.blob_get(pdf_ref["blob"])
        fail("a used blob was served twice")
    except urllib.error.HTTPError as e:
        if e.code != 404:
            fail("a used blob answered %d" % e.code)
    del changed

    # Sealing with a pass phrase: the same bytes as lockvale's.
    upload = page.blob_post(pdf)
    sealed_ref = page.result("crypt.encrypt", input=upload["blob"], key="passphrase", passphrase="投标口令")
    sealed = page.blob_get(sealed_ref["blob"])
    run(lockvale, "encrypt", pdf_path, os.path.join(tmp, "bid.sealed"), "--pass", "投标口令")
    with open(os.path.join(tmp, "bid.sealed"), "rb") as f:
        if f.read() != sealed:
            fail("the sealed PDF differs from lockvale's")
    if reason(page.ask("crypt.encrypt", input=upload["blob"], key="passphrase")) != "not-found":
        fail("an input blob was used twice")
    page.close()
    other.close()
    status = service.stop()
    if status != 0:
        fail("bidder-desk did not stop cleanly: status %d, %s" % (status, service.proc.stderr.read().decode(errors="replace")))
    print("day: 10 pages scanned, 9 bound, PNG as folvane's, sealed as lockvale's")


def group_faults(desk, tmp):
    # Slow reads, so that a scan is still running when the test acts.
    sane = sane_config(os.path.join(tmp, "sane-slow"), read_delay="true", read_delay_duration="20000",
                       read_limit="true", read_limit_size="4096")
    work = os.path.join(tmp, "faults.work")
    service = Service(desk, tmp, "faults", sane, work=work)

    # A page closed mid-scan: its scan ends, the pages that arrived stay.
    page = Page(service, timeout=40)
    page.wait_note("scan.page", page.send("scanner.scan", source="adf", mode="gray", resolution=75))
    busy = Page(service, OTHER_ORIGIN, timeout=40)
    if reason(busy.ask("scanner.scan")) != "busy":
        fail("a second page could scan while the first did")
    if reason(busy.ask("document.pdf")) != "no-pages":
        fail("the other origin's document is not its own")
    page.close()
    deadline = time.monotonic() + 20
    while busy.result("scanner.state")["scanning"]:
        if time.monotonic() > deadline:
            fail("the closed page's scan went on")
        time.sleep(0.1)
    again = Page(service, timeout=40)
    kept = len(again.result("document.pages"))
    if not 1 <= kept < 10:
        fail("after the page closed mid-scan the document has %d pages" % kept)

    # Killed mid-scan and started again: the dead run's files go, the new run serves.
    again.wait_note("scan.page", again.send("scanner.scan", source="adf", mode="gray", resolution=75))
    dead_instance = again.instance
    service.stop(signal.SIGKILL)
    service = Service(desk, tmp, "faults2", sane, work=work)
    left = [os.path.join(root, name) for root, _, names in os.walk(work) for name in names
            if name not in (".bidder-desk-work", ".lock")]
    if left:
        fail("the dead run's files are still in the work directory: %s" % left[:5])
    if service.hello()["instance"] == dead_instance:
        fail("the new run has the dead run's instance")
    fresh = Page(service, timeout=40)
    if fresh.result("document.pages"):
        fail("the new run serves the dead run's document")
    fresh.close()
    service.stop()

    # The scanner's faults end the scan with the scanner's reason and a Chinese text.
    for status, word in (("SANE_STATUS_JAMMED", "jam"), ("SANE_STATUS_COVER_OPEN", "cover"),
                         ("SANE_STATUS_IO_ERROR", "io")):
        faulty = sane_config(os.path.join(tmp, "sane-" + word), read_status_code=f'"{status}"')
        service = Service(desk, tmp, "fault-" + word, faulty)
        page = Page(service, timeout=40)
        answer = page.ask("scanner.scan", source="adf")
        if reason(answer) != "scanner" or not any(ord(c) > 0x3000 for c in answer["error"]["message"]):
            fail(f"{status}: " + json.dumps(answer, ensure_ascii=False))
        if page.result("scanner.state")["scanning"]:
            fail(status + " left the scanner busy")
        page.close()
        service.stop()
    print("faults: closed page, busy, SIGKILL, jam, cover open, I/O error")


def resident(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def group_cycles(desk, tmp, check_memory):
    sane = sane_config(os.path.join(tmp, "sane"))
    service = Service(desk, tmp, "cycles", sane)
    pid = service.proc.pid

    def cycles(n):
        for _ in range(n):
            page = Page(service)
            page.result("scanner.state")
            page.close()

    cycles(100)  # allocator and caches settle
    time.sleep(0.5)
    rss, fds = resident(pid), len(os.listdir(f"/proc/{pid}/fd"))
    cycles(1000)
    time.sleep(1)
    rss_after, fds_after = resident(pid), len(os.listdir(f"/proc/{pid}/fd"))
    print(f"cycles: resident {rss} -> {rss_after} KiB, descriptors {fds} -> {fds_after}")
    if fds_after > fds:
        fail("descriptors grew over 1000 sessions")
    if check_memory and rss_after > rss + 2048:
        fail("resident memory grew by more than 2 MiB over 1000 sessions")
    service.stop()


def main():
    group, desk = sys.argv[1], sys.argv[2]
    if not os.path.exists("/etc/sane.d/test.conf"):
        skip("SANE's test backend is not installed")
    tmp = tempfile.mkdtemp(prefix="desk-day.")
    try:
        if group == "day":
            group_day(desk, sys.argv[3], sys.argv[4], tmp)
        elif group == "faults":
            # SANE's test backend now and then deadlocks in its reader thread
            # as a page ends (seen with scanimage alone): a scan that hangs is
            # shown with the service's threads and the checks run once more.
            for attempt in (1, 2):
                try:
                    group_faults(desk, tmp)
                    break
                except socket.timeout:
                    print("a scan hung; the service's threads:")
                    for proc in STARTED:
                        if proc.poll() is None:
                            subprocess.run(["gdb", "-batch", "-p", str(proc.pid), "-ex", "thread apply all bt"],
                                           timeout=60, check=False)
                            proc.kill()
                    if attempt == 2:
                        fail("a scan hung twice")
        elif group == "cycles":
            group_cycles(desk, tmp, "--no-memory" not in sys.argv[3:])
        else:
            fail("unknown group " + group)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
