"""What the page library's browser tests share beyond the browser and the
service (tools/browser/browser_page.py): checks that go on after a failure,
and skipping. A test exits 77 (skipped) where Chromium, chromedriver or
selenium is missing, or where another program holds the service's ports."""
import contextlib
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                "tools", "browser"))
import browser_page  # noqa: E402
from browser_page import (CHROMEDRIVER, CHROMIUM, DESK_PORTS, REPO, WEB_ROOT, DeskService,  # noqa: E402,F401
                          NoFreePort, PageTimeout, browser, port_in_use, run_js, static_site)

SKIP = 77

failures = []


def check(condition, message):
    """Records a failed expectation and goes on, so that one run shows every fault."""
    if not condition:
        failures.append(message)
        print("FAIL: " + message, flush=True)
    return condition


def finish():
    if failures:
        print(f"{len(failures)} check(s) failed")
        sys.exit(1)
    print("PASS")
    sys.exit(0)


def skip(why):
    print("SKIP: " + why)
    sys.exit(SKIP)


def require_browser():
    for path in (CHROMIUM, CHROMEDRIVER):
        if not os.access(path, os.X_OK):
            skip(path + " is not installed")
    try:
        import selenium  # noqa: F401
    except ImportError:
        skip("python3-selenium is not installed")


def require_free_desk_ports():
    """A test that expects no service, or one service of its own, needs the whole range."""
    taken = [p for p in DESK_PORTS if port_in_use(p)]
    if taken:
        skip(f"ports {taken} of {DESK_PORTS.start}-{DESK_PORTS.stop - 1} are in use by another program")


def start_desk(*args, **kwargs):
    try:
        return browser_page.start_desk(*args, **kwargs)
    except NoFreePort as e:
        skip(str(e))


@contextlib.contextmanager
def desk_service(*args, **kwargs):
    try:
        with browser_page.desk_service(*args, **kwargs) as service:
            yield service
    except NoFreePort as e:
        skip(str(e))


def wait_for(driver, script, seconds=20, what="a condition"):
    """As the page's own wait, but a timeout is a failed check and the test goes on."""
    try:
        return browser_page.wait_for(driver, script, seconds, what)
    except PageTimeout as e:
        check(False, str(e))
        return None
