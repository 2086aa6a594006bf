"""Pages in a real browser beside the real desk service: the page library
and the example page served from a static origin of their own, bidder-desk
on one of the ports the library probes, and a fresh headless Chromium driven
through selenium. Everything started here is stopped and removed when its
`with` ends. The demo and the browser tests use it alike."""
import contextlib
import functools
import http.server
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
import urllib.request

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WEB_ROOT = os.path.join(REPO, "desk", "web")
# The ports the library probes; the service a page reaches must be on one of them.
DESK_PORTS = range(47380, 47390)
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
CHROMIUM_FLAGS = [
    "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
    "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run",
]


class NoFreePort(Exception):
    """Every port the library probes is taken by another program."""


class PageTimeout(Exception):
    """A condition in the page did not come true in time."""


def port_in_use(port):
    with socket.socket() as sock:
        sock.settimeout(0.5)
        return sock.connect_ex(("127.0.0.1", port)) == 0


class _QuietFiles(http.server.SimpleHTTPRequestHandler):
    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()

    def log_message(self, *args):
        pass


@contextlib.contextmanager
def static_site(root=WEB_ROOT):
    """Serves `root` on 127.0.0.1:<free port>; yields the origin."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(_QuietFiles, directory=root))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield f"http://127.0.0.1:{server.server_address[1]}"
    finally:
        server.shutdown()
        server.server_close()


class DeskService:
    def __init__(self, process, port, folder, log):
        self.process, self.port, self.folder, self.log = process, port, folder, log

    def hello(self, origin):
        request = urllib.request.Request(f"http://127.0.0.1:{self.port}/v1/hello", headers={"Origin": origin})
        with urllib.request.urlopen(request, timeout=5) as answer:
            return json.load(answer)

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        return self.process.returncode

    def log_text(self):
        try:
            with open(self.log, encoding="utf-8", errors="replace") as f:
                return f.read()
        except OSError:
            return ""


def start_desk(binary, origins, folder, port=None, env=None, name="desk"):
    """Starts bidder-desk on `port`, or on the first free port of the range,
    allowing `origins`; waits until it listens. The caller stops it."""
    log = os.path.join(folder, name + ".log")
    environment = dict(os.environ, XDG_CONFIG_HOME=os.path.join(folder, "config"), **(env or {}))
    for candidate in [port] if port else DESK_PORTS:
        if port_in_use(candidate):
            continue
        command = [binary, "--port", str(candidate), "--work-dir", os.path.join(folder, name + ".work"), "--log", log]
        for origin in origins:
            command += ["--allow-origin", origin]
        process = subprocess.Popen(command, env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(200):
            if process.poll() is not None:
                break
            if f"listening on port {candidate}" in DeskService(process, candidate, folder, log).log_text():
                return DeskService(process, candidate, folder, log)
            time.sleep(0.05)
        if process.poll() is None:
            process.kill()
            process.wait()
            raise RuntimeError(f"bidder-desk did not start on {candidate}")
        if process.returncode != 3:  # 3: taken meanwhile, try the next
            raise RuntimeError(f"bidder-desk exited with {process.returncode}")
    raise NoFreePort("no free port for bidder-desk in the range the library probes")


@contextlib.contextmanager
def desk_service(binary, origins, port=None, env=None):
    folder = tempfile.mkdtemp(prefix="desk-browser.")
    service = None
    try:
        service = start_desk(binary, origins, folder, port, env)
        yield service
    finally:
        if service:
            service.stop()
        shutil.rmtree(folder, ignore_errors=True)


@contextlib.contextmanager
def browser(extra_flags=(), downloads=None):
    """A fresh headless Chromium (its own profile, thrown away after)."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    profile = tempfile.mkdtemp(prefix="desk-chromium.")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in [*CHROMIUM_FLAGS, f"--user-data-dir={profile}", *extra_flags]:
        options.add_argument(flag)
    if downloads:
        options.add_experimental_option("prefs", {
            "download.default_directory": downloads,
            "download.prompt_for_download": False,
            "profile.default_content_setting_values.automatic_downloads": 1,
        })
    driver = webdriver.Chrome(options=options, service=Service(CHROMEDRIVER))
    try:
        driver.set_script_timeout(90)
        yield driver
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


# Runs `body` (the inside of an async function, with the library imported as
# `desk`) in the page; a thrown error comes back as {"error": {...}}.
_ASYNC_WRAPPER = """
const done = arguments[arguments.length - 1];
(async () => {
  const desk = await import("/bidder-desk.js");
  %s
})().then(
  (value) => done({ value: value === undefined ? null : value }),
  (e) => done({ error: { name: e && e.name, reason: e && e.reason, message: e && e.message, code: e && e.code,
                         isDeskError: e instanceof Error && e.name === "DeskError" } }));
"""


def run_js(driver, body):
    return driver.execute_async_script(_ASYNC_WRAPPER % body)


def wait_for(driver, script, seconds=20, what="a condition"):
    """Polls `script` (an expression) in the page until it is truthy; raises
    PageTimeout when it does not become so within `seconds`."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = driver.execute_script("return " + script)
        if value:
            return value
        time.sleep(0.1)
    raise PageTimeout(f"timed out waiting for {what}: {script}")
