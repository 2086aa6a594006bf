"""A bidder's whole day on the example page in headless Chromium: connect,
scan ten pages from SANE's test scanner's feeder, delete one, move one,
bind them into one PDF with Chinese document information, seal it with the
stand-in token (a wrong PIN first), and check the sealed bytes on the
"server" side: `lockvale` opens them to the very PDF the page received,
`qpdf --check` passes, and the page count and information are right.

  test_day.py BIDDER_DESK LOCKVALE FT_ND_API_LIBRARY [SCREENSHOT_DIR]

The screenshot of the page with its thumbnails goes to SCREENSHOT_DIR
(default: a new temporary folder, kept; the path is printed).
"""
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile

import harness
from harness import check, wait_for

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


def pnm_pixels(path):
    """Width, height and the samples of a binary PGM or PPM (one sample a
    pixel where the picture is grey)."""
    with open(path, "rb") as f:
        data = f.read()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        if data[at:at + 1] == b"#":  # scanimage's "# SANE data follows"
            at = data.index(b"\n", at)
            continue
        end = at
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[at:end])
        at = end
    samples = data[at + 1:]
    if fields[0] == b"P6" and samples[0::3] == samples[1::3] == samples[2::3]:
        samples = samples[0::3]  # pdfimages writes grey images as grey RGB
    return int(fields[1]), int(fields[2]), samples


def screenshot(driver, path):
    """A PNG of the whole page as the bidder sees it."""
    height = driver.execute_script("return document.documentElement.scrollHeight")
    driver.set_window_size(1280, max(900, height))
    driver.save_screenshot(path)
    with open(path, "rb") as f:
        check(f.read(8) == b"\x89PNG\r\n\x1a\n", f"{path} is not a PNG")
    print("screenshot:", path)


def link_bytes(driver, link_id):
    """The bytes behind one of the page's download links (a blob: URL)."""
    encoded = harness.run_js(driver, f"""
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


def day(desk_binary, lockvale, token_library, shots):
    folder = tempfile.mkdtemp(prefix="desk-day.")
    try:
        sane_config(os.path.join(folder, "sane"))
        image = os.path.join(folder, "token.img")
        token_image(lockvale, image)
        library_dir = os.path.dirname(os.path.abspath(token_library))
        env = {
            "SANE_CONFIG_DIR": os.path.join(folder, "sane"),
            "FT_ND_API_TOKEN": image,
            "BIDDER_DESK_TOKEN_LIBRARY": os.path.abspath(token_library),
            "LD_LIBRARY_PATH": library_dir + os.pathsep + os.environ.get("LD_LIBRARY_PATH", ""),
        }
        with harness.static_site() as origin, harness.desk_service(desk_binary, [origin], env=env), \
                harness.browser() as driver:
            driver.get(origin + "/example/index.html")
            driver.find_element("id", "connect").click()
            wait_for(driver, "document.body.dataset.desk === 'connected'", what="the page to connect")
            check(SERIAL in driver.find_element("id", "token-state").text, "the page does not show the token's serial")

            choose(driver, "source", "adf")
            choose(driver, "mode", "gray")
            choose(driver, "resolution", "150")
            choose(driver, "compression", "lossless")
            click_when_idle(driver, "scan")
            wait_for(driver, f"document.querySelectorAll('#pages .page img[src^=\"data:image/png\"]').length === {FEEDER_PAGES}",
                     seconds=120, what="ten thumbnails")
            wait_for(driver, "!document.body.dataset.busy", seconds=60, what="the scan to end")
            check(error_reason(driver) is None, f"the scan ended with {error_reason(driver)}")
            screenshot(driver, os.path.join(shots, "desk-day-thumbnails.png"))

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
            check(page_ids(driver) == [], "the pages are still shown after the PDF was bound")

            # A wrong PIN is refused by reason; the right one seals.
            driver.find_element("id", "pin").send_keys("000000")
            click_when_idle(driver, "seal")
            wait_for(driver, "document.getElementById('error').dataset.reason", seconds=30, what="the wrong PIN's error")
            check(error_reason(driver) == "pin", f"a wrong PIN shows {error_reason(driver)}")
            driver.find_element("id", "pin").clear()
            driver.find_element("id", "pin").send_keys(PIN)
            click_when_idle(driver, "seal")
            wait_for(driver, "!document.getElementById('sealed-link').hidden", seconds=120, what="the sealed file")
            sealed = link_bytes(driver, "sealed-link")
            check(error_reason(driver) is None, f"sealing ended with {error_reason(driver)}")

        # The server's side: the sealed file opens with the USERID to the same PDF.
        paths = {name: os.path.join(folder, name) for name in ("bid.pdf", "bid.pdf.enc", "opened.pdf")}
        for name, data in (("bid.pdf", pdf), ("bid.pdf.enc", sealed)):
            with open(paths[name], "wb") as f:
                f.write(data)
        check(sealed != pdf, "the sealed file is the PDF itself")
        subprocess.run([lockvale, "decrypt", paths["bid.pdf.enc"], paths["opened.pdf"], "--pass", USERID], check=True)
        with open(paths["opened.pdf"], "rb") as f:
            check(f.read() == pdf, "the sealed file does not open to the PDF the page received")
        qpdf = subprocess.run(["qpdf", "--check", paths["bid.pdf"]], capture_output=True, text=True)
        check(qpdf.returncode == 0, "qpdf --check: " + qpdf.stdout + qpdf.stderr)
        info = subprocess.run(["pdfinfo", "-enc", "UTF-8", paths["bid.pdf"]], capture_output=True, text=True).stdout
        fields = dict(line.split(":", 1) for line in info.splitlines() if ":" in line)
        fields = {k.strip(): v.strip() for k, v in fields.items()}
        check(fields.get("Pages") == str(FEEDER_PAGES - 1), f"the PDF has {fields.get('Pages')} pages")
        for name, value in INFO.items():
            check(fields.get(name.capitalize()) == value, f"the PDF's {name} is {fields.get(name.capitalize())!r}")

        # The pages hold the scanner's pixels: scanimage with the same settings
        # reads what the PDF's first page shows (every sheet of the test
        # scanner's feeder carries the same picture).
        sane_env = dict(os.environ, SANE_CONFIG_DIR=os.path.join(folder, "sane"))
        subprocess.run(["scanimage", "-d", "test:0", "--source", "Automatic Document Feeder", "--mode", "Gray",
                        "--resolution", "150", "--batch-count", "1", "--batch=" + os.path.join(folder, "scan%d.pnm")],
                       env=sane_env, check=True, capture_output=True)
        subprocess.run(["pdfimages", "-f", "1", "-l", "1", paths["bid.pdf"], os.path.join(folder, "pdf")], check=True)
        extracted = [name for name in os.listdir(folder) if name.startswith("pdf-000.")]
        check(len(extracted) == 1, f"pdfimages wrote {extracted}")
        check(pnm_pixels(os.path.join(folder, extracted[0])) == pnm_pixels(os.path.join(folder, "scan1.pnm")),
              "the PDF's first page does not hold scanimage's pixels")
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def main():
    desk_binary, lockvale, token_library = sys.argv[1:4]
    harness.require_browser()
    for tool in ("qpdf", "pdfinfo", "pdfimages", "scanimage"):
        if not shutil.which(tool):
            harness.skip(tool + " is not installed")
    if not os.path.exists("/etc/sane.d/test.conf"):
        harness.skip("SANE's test backend is not installed")
    shots = sys.argv[4] if len(sys.argv) > 4 else tempfile.mkdtemp(prefix="desk-shots.")
    os.makedirs(shots, exist_ok=True)
    day(desk_binary, lockvale, token_library, shots)
    harness.finish()


if __name__ == "__main__":
    main()
