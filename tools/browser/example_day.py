"""A bidder's day on the example page (desk/web/example) in headless
Chromium, as a bidder clicks through it: connect, scan the ten sheets of
SANE's test scanner's feeder, delete the second page, move the first one
later, bind them into one PDF with Chinese document information, try a
wrong PIN, then seal the PDF with the stand-in token. The demo runs it (and
prints where the screenshot of the page with its thumbnails is), and the
browser tests run it and check everything it gives back.

  example_day.py BIDDER_DESK LOCKVALE FT_ND_API_LIBRARY OUTPUT_DIR

writes OUTPUT_DIR/bid.pdf, bid.pdf.enc (what the page offers for upload),
the token's USERID as userid.key, and desk-day-thumbnails.png.
"""
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile

from browser_page import browser, desk_service, run_js, static_site, wait_for


class DayFault(Exception):
    """The page did not do what the bidder asked of it."""


def expect(condition, message):
    if not condition:
        raise DayFault(message)


FEEDER_PAGES = 10  # the test backend's feeder is empty after ten sheets
SERIAL = "0000002A"
PIN = "123456"
USERID = "bidder-20261211"
INFO = {"creator": "投标文件扫描", "author": "某某建设有限公司", "title": "投标文件（商务标）", "subject": "商务标"}


def sane_config(folder):
    """SANE's test backend alone, with a picture that shows on a thumbnail."""
    os.makedirs(folder)
    with open(os.path.join(folder, "dll.conf"), "w") as f:
        f.write("test\n")
    with open("/etc/sane.d/test.conf") as f:
        lines = f.read().splitlines()
    settings = {"test-picture": '"Color pattern"', "mode": "Color", "br_x": "100.0", "br_y": "140.0"}
    with open(os.path.join(folder, "test.conf"), "w") as f:
        for line in lines:
            name = line.split(" ", 1)[0]
            f.write(f"{name} {settings.pop(name)}\n" if name in settings else line + "\n")
        for name, value in settings.items():
            f.write(f"{name} {value}\n")


def token_image(lockvale, path):
    subprocess.run([lockvale, "token", "init", path, "--serial", SERIAL, "--pin", PIN, "--userid", USERID], check=True)


def screenshot(driver, path):
    """A PNG of the whole page as the bidder sees it."""
    height = driver.execute_script("return document.documentElement.scrollHeight")
    driver.set_window_size(1280, max(900, height))
    driver.save_screenshot(path)
    with open(path, "rb") as f:
        if f.read(8) != b"\x89PNG\r\n\x1a\n":
            raise DayFault(f"{path} is not a PNG")


def link_bytes(driver, link_id):
    """The bytes behind one of the page's download links (a blob: URL)."""
    encoded = run_js(driver, f"""
      const response = await fetch(document.getElementById("{link_id}").href);
      const bytes = new Uint8Array(await response.arrayBuffer());
      let text = "";
      for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
      return btoa(text);
    """)["value"]
    return base64.b64decode(encoded)


def page_ids(driver):
    return driver.execute_script("return [...document.querySelectorAll('#pages .page')].map(p => p.dataset.id)")


def click_when_idle(driver, element_id):
    wait_for(driver, "!document.body.dataset.busy", seconds=120, what="the page to finish its work")
    driver.find_element("id", element_id).click()


def choose(driver, select_id, value):
    from selenium.webdriver.support.ui import Select
    Select(driver.find_element("id", select_id)).select_by_value(value)


def error_reason(driver):
    return driver.execute_script("const e = document.getElementById('error'); return e.hidden ? null : e.dataset.reason")



def run_day(desk_binary, lockvale, token_library, shots, folder):
    """The day in a fresh service, site and browser; gives what the page
    received: {"pdf", "sealed", "ids" (as scanned), "screenshot"}."""
    sane_config(os.path.join(folder, "sane"))
    image = os.path.join(folder, "token.img")
    token_image(lockvale, image)
    env = {
        "SANE_CONFIG_DIR": os.path.join(folder, "sane"),
        "FT_ND_API_TOKEN": image,
        "BIDDER_DESK_TOKEN_LIBRARY": os.path.abspath(token_library),
    }
    shot = os.path.join(shots, "desk-day-thumbnails.png")
    with static_site() as origin, desk_service(desk_binary, [origin], env=env), browser() as driver:
        driver.get(origin + "/example/index.html")
        driver.find_element("id", "connect").click()
        wait_for(driver, "document.body.dataset.desk === 'connected'", what="the page to connect")
        expect(SERIAL in driver.find_element("id", "token-state").text, "the page does not show the token's serial")

        choose(driver, "source", "adf")
        choose(driver, "mode", "gray")
        choose(driver, "resolution", "150")
        choose(driver, "compression", "lossless")
        click_when_idle(driver, "scan")
        wait_for(driver, f"document.querySelectorAll('#pages .page img[src^=\"data:image/png\"]').length === {FEEDER_PAGES}",
                 seconds=120, what="ten thumbnails")
        wait_for(driver, "!document.body.dataset.busy", seconds=60, what="the scan to end")
        expect(error_reason(driver) is None, f"the scan ended with {error_reason(driver)}")
        screenshot(driver, shot)

        # Delete the second page, move the (new) first page one later.
        ids = page_ids(driver)
        driver.find_elements("css selector", "#pages .page .remove")[1].click()
        wait_for(driver, f"document.querySelectorAll('#pages .page').length === {FEEDER_PAGES - 1}", what="the deletion")
        wait_for(driver, "!document.body.dataset.busy", what="the deletion to settle")
        driver.find_elements("css selector", "#pages .page .later")[0].click()
        expected = [ids[2], ids[0]] + ids[3:]
        order = "JSON.stringify([...document.querySelectorAll('#pages .page')].map(p => p.dataset.id))"
        wait_for(driver, f"{order} === {json.dumps(json.dumps(expected, separators=(',', ':')))}", what="the move")

        for name, value in INFO.items():
            field = driver.find_element("id", name)
            field.clear()
            field.send_keys(value)
        click_when_idle(driver, "bind")
        wait_for(driver, "!document.getElementById('pdf-link').hidden", seconds=120, what="the PDF")
        pdf = link_bytes(driver, "pdf-link")
        expect(page_ids(driver) == [], "the pages are still shown after the PDF was bound")

        # A wrong PIN is refused by reason; the right one seals.
        driver.find_element("id", "pin").send_keys("000000")
        click_when_idle(driver, "seal")
        wait_for(driver, "document.getElementById('error').dataset.reason", seconds=30, what="the wrong PIN's error")
        expect(error_reason(driver) == "pin", f"a wrong PIN shows {error_reason(driver)}")
        driver.find_element("id", "pin").clear()
        driver.find_element("id", "pin").send_keys(PIN)
        click_when_idle(driver, "seal")
        wait_for(driver, "!document.getElementById('sealed-link').hidden", seconds=120, what="the sealed file")
        sealed = link_bytes(driver, "sealed-link")
        expect(error_reason(driver) is None, f"sealing ended with {error_reason(driver)}")
    return {"pdf": pdf, "sealed": sealed, "ids": ids, "screenshot": shot}


def main():
    desk_binary, lockvale, token_library, output = sys.argv[1:5]
    os.makedirs(output, exist_ok=True)
    folder = tempfile.mkdtemp(prefix="desk-day.")
    try:
        day = run_day(desk_binary, lockvale, token_library, output, folder)
    except Exception as e:  # a fault of the page or a timeout: the demo says which
        print(f"the day in the browser failed: {e}", file=sys.stderr)
        sys.exit(1)
    finally:
        shutil.rmtree(folder, ignore_errors=True)
    for name, data in (("bid.pdf", day["pdf"]), ("bid.pdf.enc", day["sealed"]), ("userid.key", USERID.encode())):
        with open(os.path.join(output, name), "wb") as f:
            f.write(data)
    print(f"scanned {FEEDER_PAGES} pages, deleted one, moved one, bound {len(day['pdf'])} bytes of PDF, "
          f"a wrong PIN refused, sealed with the token")
    print("screenshot: " + day["screenshot"])


if __name__ == "__main__":
    main()
