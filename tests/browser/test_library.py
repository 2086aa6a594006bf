"""The page library's methods and its scanning-control adapter in headless
Chromium, against a scripted service (fake_desk.py) that can spoil a
download or hold two scanners on demand.

  test_library.py GROUP      GROUP: methods | control
"""
import hashlib
import os
import shutil
import socket
import sys
import tempfile
import time

import harness
from fake_desk import PNG_1x1, FakeDesk
from harness import check, run_js, wait_for


def free_port():
    with socket.socket() as sock:
        sock.bind(("127.0.0.1", 0))
        return sock.getsockname()[1]


def session(driver, port):
    run_js(driver, f"window.d = await desk.connect({{ port: {port} }});")


def group_methods():
    port = free_port()
    with harness.static_site() as origin, FakeDesk(port, origin) as fake, harness.browser() as driver:
        driver.get(origin + "/example/index.html")
        session(driver, port)

        # Pages are events before the scan's answer; settings reach the service as given.
        got = run_js(driver, """
          const seen = [];
          const off = d.on("page", (p) => seen.push(p.id));
          const result = await d.scan({ resolution: 150, mode: "gray" });
          off();
          return { result, seen };
        """)["value"]
        check(got["seen"] == ["p1", "p2"] and got["result"] == {"added": 2, "total": 2}, f"scan: {got}")
        check(fake.calls[-1] == ("scanner.scan", {"resolution": 150, "mode": "gray"}), f"scan params: {fake.calls[-1]}")

        # A whole download: the bytes, the type and the progress up to the size.
        got = run_js(driver, """
          const steps = [];
          const pdf = await d.pdf({ title: "投标文件", onProgress: (p) => steps.push(p) });
          const text = await pdf.text();
          return { size: pdf.size, type: pdf.type, text, last: steps[steps.length - 1] };
        """)["value"]
        want = fake.pdf_bytes
        check(got["text"].encode() == want and got["type"] == "application/pdf", f"pdf(): {got['size']} bytes, {got['type']}")
        check(got["last"] == {"phase": "download", "loaded": len(want), "total": len(want)}, f"progress: {got['last']}")
        check(fake.calls[-1][1] == {"creator": "", "author": "", "title": "投标文件", "subject": ""},
              f"pdf params: {fake.calls[-1][1]}")

        # A download that arrives short or altered is an error, never a Blob.
        for damage in ("short", "digest"):
            fake.pages = [{"id": "p1"}]
            fake.damage = damage
            got = run_js(driver, "return (await d.pdf({})).size;")
            check((got.get("error") or {}).get("reason") == "transfer", f"a {damage} download: {got}")

        # Sealing: the file goes up with the session key (fetch, or XMLHttpRequest
        # when progress is asked for) and the service's answer comes down.
        for with_progress in (False, True):
            got = run_js(driver, f"""
              const steps = [];
              const input = new Blob([new Uint8Array([1, 2, 3, 4, 5])]);
              const options = {{ key: "token", pin: 1234 }};
              if ({str(with_progress).lower()}) options.onProgress = (p) => steps.push(p.phase);
              const sealed = new Uint8Array(await (await d.encrypt(input, options)).arrayBuffer());
              return {{ sealed: Array.from(sealed), phases: [...new Set(steps)] }};
            """)
            value = got.get("value") or {}
            check(value.get("sealed") == [5, 4, 3, 2, 1], f"encrypt (progress {with_progress}): {got}")
            if with_progress:
                check(value.get("phases") == ["upload", "download"], f"progress phases: {value.get('phases')}")
            method, params = fake.calls[-1]
            check(method == "crypt.encrypt" and params.get("pin") == "1234" and params["input"].startswith("/v1/blobs/"),
                  f"encrypt params: {fake.calls[-1]}")

        # The service's refusal, and a caller that gave up before anything was sent.
        got = run_js(driver, "return await d.encrypt(new Blob(['x']), { key: 'token', pin: '9' });")
        check((got.get("error") or {}).get("reason") == "pin" and got["error"]["message"] == "PIN码错误", f"wrong PIN: {got}")
        calls = len(fake.calls)
        got = run_js(driver, "return await d.encrypt(new Blob(['x']), { key: 'token', pin: 1234, signal: AbortSignal.abort() });")
        check((got.get("error") or {}).get("name") == "AbortError" and len(fake.calls) == calls, f"an aborted call: {got}")
        # Beyond the service's stated blob limit: refused before a byte is sent.
        got = run_js(driver, "return await d.encrypt(new Blob([new Uint8Array((1 << 20) + 1)]), { key: 'empty' });")
        check((got.get("error") or {}).get("reason") == "too-large" and len(fake.calls) == calls, f"an oversized file: {got}")


def downloaded(folder, name, seconds=20):
    path = os.path.join(folder, name)
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            with open(path, "rb") as f:
                return f.read()
        time.sleep(0.1)
    check(False, f"no download {name}; the folder has {os.listdir(folder)}")
    return None


def group_control():
    port = free_port()
    downloads = tempfile.mkdtemp(prefix="desk-downloads.")
    try:
        control_in_browser(port, downloads)
    finally:
        shutil.rmtree(downloads, ignore_errors=True)


def control_in_browser(port, downloads):
    with harness.static_site() as origin, FakeDesk(port, origin) as fake, harness.browser(downloads=downloads) as driver:
        driver.get(origin + "/example/index.html")
        session(driver, port)
        run_js(driver, "window.alerts = []; window.alert = (m) => alerts.push(m); window.ctl = d.asScanningControl();")
        alerts = lambda: driver.execute_script("return alerts.splice(0)")  # noqa: E731

        # The control's texts where it has them: no scanner, nothing scanned.
        fake.scanners = []
        run_js(driver, "await ctl.SelectScanner();")
        check(alerts() == ["请安装一个扫描仪设备。"], "SelectScanner without a scanner")
        run_js(driver, "await ctl.ConvertToPDF('c', 'a', 't', 's'); await ctl.ConvertToJPG();")
        check(alerts() == ["请先扫描文件。", "请先扫描文件。"], "the outputs without pages")

        # Two scanners: the library's chooser; the choice is what scans.
        fake.scanners = [{"id": "test:0", "name": "Test 0", "default": True}, {"id": "test:1", "name": "Test 1", "default": False}]
        run_js(driver, "window.selecting = ctl.SelectScanner();")
        wait_for(driver, "document.querySelector('dialog.bidder-desk-chooser[open]')", what="the chooser")
        options = driver.execute_script("return [...document.querySelectorAll('dialog select option')].map(o => o.text)")
        check(options == ["Test 0", "Test 1"], f"the chooser lists {options}")
        from selenium.webdriver.support.ui import Select
        Select(driver.find_element("css selector", "dialog select")).select_by_value("test:1")
        driver.find_element("css selector", "dialog button[value=ok]").click()
        run_js(driver, "await selecting; await ctl.ScanNewDocument();")
        check(fake.calls[-1] == ("scanner.scan", {"scanner": "test:1"}), f"the scan after choosing: {fake.calls[-1]}")
        check(not driver.execute_script("return document.querySelector('dialog')"), "the chooser stays in the page")

        # Outputs through the browser's own download, named as the control names them.
        run_js(driver, "await ctl.ConvertToJPG();")
        for name in ("扫描文件_0.PNG", "扫描文件_1.PNG"):
            check(downloaded(downloads, name) == PNG_1x1, f"{name} is not the page's PNG")
        run_js(driver, "await ctl.ConvertToPDF('c', 'a', '投标/文件', 's');")
        check(hashlib.sha256(downloaded(downloads, "投标_文件.pdf") or b"").digest() ==
              hashlib.sha256(fake.pdf_bytes).digest(), "the PDF download")
        check(alerts() == [], "alerts on the way")


GROUPS = {"methods": group_methods, "control": group_control}


def main():
    harness.require_browser()
    GROUPS[sys.argv[1]]()
    harness.finish()


if __name__ == "__main__":
    main()
