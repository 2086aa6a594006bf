// Script run from inside the Save As dialog's loop (the control's
// ConvertToPDF on the stack) closes the page; the dialog is then cancelled.
// page_test.sh checks that the page files went with the control.
host.setScanner("config", "NUL");
host.setScanner("width", "64");
host.setScanner("height", "48");
host.setScanner("pages", "2");
scanner.ScanNewDocument();
host.check(host.pumpUntilPages(2, 15000), "two page files");
host.pump(300);

// @step the page closes while the Save As dialog is up
host.atNextDialog(function () { host.release(); });
host.cancelNextDialog();
scanner.ConvertToPDF("c", "a", "t", "s");
host.pump(300);
