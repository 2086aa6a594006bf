// What keeps the document: no pages (the user is asked to scan first, and no
// dialog opens), a cancelled Save As dialog, an output file that another
// program holds open; ReStart empties it. page_test.sh checks the files.
var scanFirst = "\u8bf7\u5148\u626b\u63cf\u6587\u4ef6\u3002";  // 请先扫描文件。
var heldOpen = "\u65e0\u6cd5\u521b\u5efaPDF\u6587\u4ef6\uff0c\u8be5\u6587\u4ef6\u53ef\u80fd\u5df2\u88ab" +
               "\u5176\u4ed6\u7a0b\u5e8f\u6253\u5f00\u3002";  // 无法创建PDF文件，该文件可能已被其他程序打开。
useVirtualScanner({width: 64, height: 48, depth: 24});

// @step no pages: asked to scan first, for both outputs
scanner.ConvertToPDF("c", "a", "t", "s");
scanner.ConvertToJPG();
host.check(host.messages() == scanFirst + "\n" + scanFirst, "both ask to scan first");
host.check(host.dialogs() == "", "and show no dialog");

// @step scan two pages
scanPages(scanner, 2);

// @step a cancelled dialog keeps the pages
host.clearRecords();
host.cancelNextDialog();
scanner.ConvertToPDF("c", "a", "t", "s");
host.cancelNextDialog();
scanner.ConvertToJPG();
host.check(host.dialogs() == "Save As PDF\nSave As PNG", "both dialogs shown and cancelled");
host.check(host.pageFiles() == 2, "the pages are kept");
host.check(!host.fileExists("cancelled.pdf") && host.messages() == "", "nothing written, nothing shown");

// @step an output held open by another program: the failure is shown, the pages kept
host.check(host.holdOpen("held.pdf"), "another program holds held.pdf");
host.answerSaveAs("held.pdf");
scanner.ConvertToPDF("c", "a", "t", "s");
host.check(host.messages() == heldOpen, "the user sees that the file may be open elsewhere");
host.check(host.pageFiles() == 2, "the pages are kept");
host.closeHeld();

// @step once the other program lets go, the same pages go into that file
host.clearRecords();
host.answerSaveAs("held.pdf");
scanner.ConvertToPDF("c", "a", "t", "s");
host.check(host.messages() == "", "no message box");
host.check(host.pageFiles() == 0, "the document is empty afterwards");

// @step ReStart empties the document
scanPages(scanner, 1);
scanner.ReStart();
host.check(host.pageFiles() == 0, "ReStart deletes the page files");
scanner.ConvertToPDF("c", "a", "t", "s");
host.check(host.messages() == scanFirst, "and the next output asks to scan first");
