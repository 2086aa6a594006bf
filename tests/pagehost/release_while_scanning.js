// The page closes while the scanner's window is up (the source enabled,
// waiting for the user): the control is released under the running source.
// page_test.sh checks that the page files went with the control.
useVirtualScanner({width: 64, height: 48});
scanPages(scanner, 2);

// @step the scanner's window stays up, then the page closes
host.setScanner("autoscan", "0");
host.setScanner("close_after", "0");
scanner.ScanNewDocument();
host.pump(300);
host.release();
// The loop goes on turning while the page goes away.
host.pump(300);
