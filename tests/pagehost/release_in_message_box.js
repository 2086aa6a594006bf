// Script run from inside the loop of the control's failure message box
// (ConvertToPDF on the stack, after the PDF could not be written over a file
// another program holds open) closes the page. page_test.sh checks that the
// page files went with the control.
useVirtualScanner({width: 64, height: 48});
scanPages(scanner, 2);

// @step the page closes while the failure is shown
host.check(host.holdOpen("held.pdf"), "another program holds held.pdf");
host.answerSaveAs("held.pdf");
// The dialogs come in this order: Save As, its question (replace the file?),
// the control's message box.
function atThirdDialog(action) {
  host.atNextDialog(function () { host.atNextDialog(function () { host.atNextDialog(action); }); });
}
atThirdDialog(function () {
  host.check(host.messages() == "", "the failure box is the first message box");
  host.release();
});
scanner.ConvertToPDF("c", "a", "t", "s");
host.pump(300);
