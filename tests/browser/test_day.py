"""A bidder's whole day on the example page in headless Chromium
(tools/browser/example_day.py drives it), then the "server" side checks what
the page gave back: `lockvale` opens the sealed bytes to the very PDF the
page received, `qpdf --check` passes, the page count and document
information are right, and the first page holds the pixels `scanimage`
reads with the same settings.

  test_day.py BIDDER_DESK LOCKVALE FT_ND_API_LIBRARY [SCREENSHOT_DIR]

The screenshot of the page with its thumbnails goes to SCREENSHOT_DIR
(default: a new temporary folder, kept; the path is printed).
"""
import os
import shutil
import subprocess
import sys
import tempfile

import harness
from harness import check
sys.path.insert(0, os.path.join(harness.REPO, "tests", "support"))
from pnm_image import read_pnm  # noqa: E402
sys.path.insert(0, os.path.join(harness.REPO, "tests", "desk"))
from desk_day import scanimage  # noqa: E402
import example_day
from example_day import FEEDER_PAGES, INFO, USERID


def pnm_pixels(path):
    """Width, height and the samples of a binary PGM or PPM (one sample a
    pixel where the picture is grey)."""
    magic, width, height, _, samples = read_pnm(path)
    if magic == b"P6" and samples[0::3] == samples[1::3] == samples[2::3]:
        samples = samples[0::3]  # pdfimages writes grey images as grey RGB
    return width, height, samples


def day(desk_binary, lockvale, token_library, shots):
    folder = tempfile.mkdtemp(prefix="desk-day.")
    try:
        try:
            result = example_day.run_day(desk_binary, lockvale, token_library, shots, folder)
        except harness.NoFreePort as e:
            harness.skip(str(e))
        except (example_day.DayFault, harness.PageTimeout) as e:
            check(False, str(e))
            return
        print("screenshot:", result["screenshot"])
        pdf, sealed = result["pdf"], result["sealed"]

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
        scanimage(["-d", "test:0", "--source", "Automatic Document Feeder", "--mode", "Gray", "--resolution", "150",
                   "--batch-count", "1", "--batch=" + os.path.join(folder, "scan%d.pnm")], env=sane_env)
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
