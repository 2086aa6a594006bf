// Script run from inside the Save As dialog's loop (the control's
// ConvertToPDF on the stack) closes the page; the dialog is then cancelled.
// page_test.sh checks that the page files went with the control.
useVirtualScanner({width: 64, height: 48});
scanPages(scanner, 2);

// @step the page closes while the Save As dialog is up
host.atNextDialog(function () { host.release(); });
host.cancelNextDialog();
scanner.ConvertToPDF("c", "a", "t", "s");
host.pump(300);
