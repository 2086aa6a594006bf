// The page host's prelude: run before every page script, it gives the page
// the steps most pages share. Everything here is page script: it drives the
// controls as the page's own script would, and the host only through `host`.
//
//   useVirtualScanner(settings)   the virtual scanner's settings for its next
//                                 openings, e.g. {width: 827, height: 1169, dpi: 100,
//                                 depth: 24, seed: 0}; only these count, nothing from
//                                 a settings file; settings not named keep their values
//   chooseScanner(control)        the user chooses the virtual scanner in the
//                                 scanning control's source selection
//   scanPages(control, n)         the scanner delivers n pages; waits until they are
//                                 page files and the source has closed; a check, and
//                                 its result
//
// The next Save As dialog is answered with host.answerSaveAs(path).

function useVirtualScanner(settings) {
  host.setScanner("config", "NUL");
  for (var key in settings) host.setScanner(key, "" + settings[key]);
}

function chooseScanner(control) {
  host.answerSelection("Folvane Virtual Scanner");
  control.SelectScanner();
}

function scanPages(control, n) {
  var before = host.pageFiles();
  host.setScanner("pages", "" + n);
  control.ScanNewDocument();
  var scanned = host.check(host.pumpUntilPages(before + n, 30000),
                           "scanned " + n + " page(s): page files " + before + " to " + (before + n - 1));
  // The source closes itself once the scan is done.
  host.pump(300);
  return scanned;
}
