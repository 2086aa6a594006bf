// Script run from inside the loop of the manager's source selection (the
// control's SelectScanner and the manager's call on the stack) closes the
// page; the dialog is answered afterwards and SelectScanner returns into a
// control that has lost its container.
useVirtualScanner({});
host.atNextDialog(function () { host.release(); });
host.answerSelection("");
scanner.SelectScanner();
host.pump(300);
