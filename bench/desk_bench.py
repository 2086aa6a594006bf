#!/usr/bin/env python3
"""The desk service's costs beside the tools that do the same work alone, in
one run, as ratios (bench/desk_service.sh builds and calls this):
  scan   a page through the service (SANE's pnm backend reading a rendered,
         noisy A4 page at 300 dpi) against scanimage reading it plus
         `folvane page` storing it;
  bind   the document's PDF through the service (request to download done)
         against `folvane pdf` plus curl downloading the same bytes from a
         loopback static server;
  seal   a file through the service (upload, encrypt, download) against
         `lockvale encrypt` plus curl uploading and downloading the bytes;
  memory the service's peak resident memory while it binds a document of
         about 300 MB and seals a file of 1 GB.
usage: desk_bench.py BUILD_DIR PAGES_DIR [--pages N] [--seal-mb N] [--memory]"""
import argparse
import http.server
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "desk"))
from desk_day import Page, Service, pnm_to_bmp  # noqa: E402

# The pnm backend scans this file; it has no other way to be told.
PNM_INPUT = "/tmp/input.ppm"


def timed(action):
    started = time.perf_counter()
    action()
    return time.perf_counter() - started


def run(*command, **kwargs):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)


def peak_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


class Sink(http.server.BaseHTTPRequestHandler):
    """A loopback peer for curl: serves files from its folder and swallows uploads."""

    def log_message(self, *args):
        pass

    def do_GET(self):
        path = os.path.join(self.server.folder, os.path.basename(self.path))
        size = os.path.getsize(path)
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        with open(path, "rb") as f:
            shutil.copyfileobj(f, self.wfile, 1 << 20)

    def do_POST(self):
        left = int(self.headers["Content-Length"])
        while left:
            left -= len(self.rfile.read(min(left, 1 << 20)))
        self.send_response(200)
        self.send_header("Content-Length", "0")
        self.end_headers()


def static_server(folder):
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Sink)
    server.folder = folder
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def ratio_line(name, ours, peer, target):
    verdict = "met" if ours <= peer * target else "MISSED"
    print(f"{name:<8} service {ours:8.3f} s   peer {peer:8.3f} s   ratio {ours / peer:5.2f}x   target <= {target}x: {verdict}")


def seal_in_chromium(desk, plain, megabytes, peer_seconds, sane):
    """The same seal from a page: the page library uploads the bytes, the
    service encrypts, the library downloads and checks the result (its
    SHA-256 too, up to 256 MiB), timed inside the page."""
    sys.path.insert(0, os.path.join(here, "..", "tools", "browser"))
    try:
        import browser_page
        import selenium  # noqa: F401
    except ImportError:
        print("seal in Chromium: skipped (selenium is missing; run it with /usr/bin/python3)")
        return
    if not os.access(browser_page.CHROMIUM, os.X_OK):
        print("seal in Chromium: skipped (no chromium)")
        return
    with browser_page.static_site() as origin, \
            browser_page.desk_service(desk, [origin], env={"SANE_CONFIG_DIR": sane}), \
            browser_page.browser() as driver:
        driver.get(origin + "/example/index.html")
        times = []
        for _ in range(3):
            answer = browser_page.run_js(driver, f"""
              const d = await desk.connect();
              const bytes = new Uint8Array({megabytes} << 20);
              for (let i = 0; i < bytes.length; i += 4096) bytes[i] = i >> 12;
              const input = new Blob([bytes]);
              const started = performance.now();
              const sealed = await d.encrypt(input, {{ key: "passphrase", passphrase: "bench" }});
              await sealed.arrayBuffer();
              const seconds = (performance.now() - started) / 1000;
              d.close();
              return seconds;""")
            if "error" in answer:
                print("seal in Chromium failed: %s" % answer["error"])
                return
            times.append(answer["value"])
    ratio_line(f"seal {megabytes}MB in Chromium", statistics.median(times), peer_seconds, 2.0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("pages_dir")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seal-mb", type=int, default=100)
    parser.add_argument("--memory", action="store_true")
    args = parser.parse_args()
    desk = os.path.join(args.build, "desk/service/bidder-desk")
    folvane = os.path.join(args.build, "scanctl/tool/folvane")
    lockvale = os.path.join(args.build, "cryptctl/lockvale")
    pages = sorted(os.path.join(args.pages_dir, p) for p in os.listdir(args.pages_dir) if p.endswith(".ppm"))
    tmp = tempfile.mkdtemp(prefix="desk-bench.")
    sane = os.path.join(tmp, "sane")
    os.makedirs(sane)
    with open(os.path.join(sane, "dll.conf"), "w") as f:
        f.write("pnm\n")
    env = dict(os.environ, SANE_CONFIG_DIR=sane)
    service = Service(desk, tmp, "bench", sane)
    page = Page(service)
    try:
        # --- scan: per page, the service against scanimage + folvane page
        ours, peer = [], []
        for i, ppm in enumerate(pages):
            shutil.copyfile(ppm, PNM_INPUT)
            ours.append(timed(lambda: page.result("scanner.scan", scanner="pnm:0", resolution=300,
                                                  mode="color", source="flatbed")))
            bmp = os.path.join(tmp, f"{i}.bmp")
            pnm_to_bmp(ppm, bmp, 300)
            scanned = os.path.join(tmp, "scanimage.pnm")
            with open(scanned, "wb") as out:
                t_scan = timed(lambda: subprocess.run(["scanimage", "-d", "pnm:0", "--resolution", "300"],
                                                      stdout=out, stderr=subprocess.DEVNULL, env=env, check=True))
            t_store = timed(lambda: run(folvane, "page", bmp, os.path.join(tmp, f"{i}.tif")))
            peer.append(t_scan + t_store)
        n = len(pages)
        total = sum(os.path.getsize(os.path.join(tmp, f"{i}.tif")) for i in range(n))
        print(f"{n} colour A4 pages at 300 dpi, page files {total / 1e6:.1f} MB in all")
        ratio_line("scan", statistics.median(ours), statistics.median(peer), 1.1)

        # --- bind: request to download done, against folvane pdf + curl
        folder = os.path.join(tmp, "static")
        os.makedirs(folder)
        server = static_server(folder)
        ours, peer = [], []
        for _ in range(args.runs):
            def through_service():
                ref = page.result("document.pdf", title="bench", keep=True)
                page.blob_get(ref["blob"])
            ours.append(timed(through_service))

            def alone():
                run(folvane, "pdf", "-o", os.path.join(folder, "bound.pdf"),
                    *[os.path.join(tmp, f"{i}.tif") for i in range(n)])
                run("curl", "-s", "-o", os.path.join(tmp, "download.pdf"),
                    f"http://127.0.0.1:{server.server_port}/bound.pdf")
            peer.append(timed(alone))
        ratio_line("bind", statistics.median(ours), statistics.median(peer), 1.3)

        # --- seal: upload, encrypt, download, against lockvale + curl up and down
        plain = os.path.join(folder, "plain.bin")
        with open(plain, "wb") as f:
            for _ in range(args.seal_mb):
                f.write(os.urandom(1 << 20))
        with open(plain, "rb") as f:
            data = f.read()
        ours, peer = [], []
        for _ in range(args.runs):
            def seal_through_service():
                upload = page.blob_post(data)
                ref = page.result("crypt.encrypt", input=upload["blob"], key="passphrase", passphrase="bench")
                page.blob_get(ref["blob"])
            ours.append(timed(seal_through_service))

            def seal_alone():
                url = f"http://127.0.0.1:{server.server_port}"
                run("curl", "-s", "-o", "/dev/null", "--data-binary", "@" + plain, url + "/upload")
                run(lockvale, "encrypt", plain, os.path.join(folder, "sealed.bin"), "--pass", "bench")
                run("curl", "-s", "-o", os.path.join(tmp, "sealed.download"), url + "/sealed.bin")
            peer.append(timed(seal_alone))
        del data
        ratio_line(f"seal {args.seal_mb}MB", statistics.median(ours), statistics.median(peer), 2.0)
        seal_in_chromium(desk, plain, args.seal_mb, statistics.median(peer), sane)

        if args.memory:
            # --- memory: a document of about 300 MB and a 1 GB seal
            page.result("document.clear")
            stored = 0
            while stored < 300e6:
                for ppm in pages:
                    shutil.copyfile(ppm, PNM_INPUT)
                    page.result("scanner.scan", scanner="pnm:0", resolution=300, mode="color", source="flatbed")
                stored = sum(p["bytes"] for p in page.result("document.pages"))
            scanning_peak = peak_kib(service.proc.pid) / 1024
            # The peak so far is the scans' (a colour A4 page at 300 dpi is a
            # 26 MB bitmap); from here on, binding and sealing alone.
            with open(f"/proc/{service.proc.pid}/clear_refs", "w") as f:
                f.write("5")
            ref = page.result("document.pdf", title="memory", keep=True)
            page.blob_get(ref["blob"])
            big = os.path.join(tmp, "big.bin")
            with open(big, "wb") as f:
                for _ in range(1024):
                    f.write(os.urandom(1 << 20))
            upload_size = os.path.getsize(big)
            with open(big, "rb") as f:
                # urllib streams a file object given with its length.
                import urllib.request
                request = urllib.request.Request(
                    f"http://127.0.0.1:{service.port}/v1/blobs", data=f, method="POST",
                    headers={"Origin": page.origin, "Authorization": "Bearer " + page.key,
                             "Content-Length": str(upload_size), "Content-Type": "application/octet-stream"})
                import json
                with urllib.request.urlopen(request, timeout=600) as answer:
                    upload = json.load(answer)
            ref = page.result("crypt.encrypt", input=upload["blob"], key="empty")
            request = urllib.request.Request(f"http://127.0.0.1:{service.port}{ref['blob']}",
                                             headers={"Origin": page.origin, "Authorization": "Bearer " + page.key})
            with urllib.request.urlopen(request, timeout=600) as answer:
                while answer.read(1 << 20):
                    pass
            peak = peak_kib(service.proc.pid) / 1024
            print(f"memory   peak resident while scanning colour A4 pages at 300 dpi: {scanning_peak:.1f} MB")
            print(f"memory   peak resident while binding {stored / 1e6:.0f} MB of pages and sealing 1 GB: {peak:.1f} MB,"
                  f" target < 64 MB: {'met' if peak < 64 else 'MISSED'}")
    finally:
        page.close()
        service.stop()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
