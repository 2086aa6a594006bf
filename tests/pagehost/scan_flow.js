// The bidder's flow as a page runs it: choose the scanner, scan pages of
// three kinds in three scans, bind them into one PDF with Chinese document
// information, then scan again and export PNG files. page_test.sh checks
// the files afterwards against the virtual scanner's pictures.
//
// Scans (the shell knows the same table):
//   1-bit  96 x 64 at 200 dpi, 2 pages, pictures 0 and 1  -> page files 0, 1
//   8-bit  64 x 48 at 100 dpi, 1 page,  picture 10        -> page file 2
//   24-bit 80 x 60 at 150 dpi, 2 pages, pictures 20, 21   -> page files 3, 4
function scan(depth, width, height, dpi, pages, seed) {
  useVirtualScanner({depth: depth, width: width, height: height, dpi: dpi, seed: seed});
  scanPages(scanner, pages);
}
useVirtualScanner({});
// A browser scripts the control and initialises it from the page only so.
host.check(host.markedSafe("scanner") == "scripting initializing", "marked safe for scripting and initialising");

// @step the user chooses the scanner
chooseScanner(scanner);
host.check(host.dialogs().split("\n").length == 1 && host.messages() == "", "one selection dialog, no message");

// @step scan 1-bit pages
scan("1", 96, 64, 200, 2, 0);
// @step scan a grey page: the numbering goes on
scan("8", 64, 48, 100, 1, 10);
// @step scan colour pages
scan("24", 80, 60, 150, 2, 20);
host.check(host.pageFiles() == 5, "five page files");

// @step bind them into one PDF
host.clearRecords();
host.answerSaveAs("bid.pdf");
// A rare character outside GBK (U+20BB7, a surrogate pair) and one from
// extension A (U+4DB5), as in company and person names.
scanner.ConvertToPDF("\u626b\u63cf\u63a7\u4ef6", "\u6295\u6807\u4eba \ud842\udfb7\u5409",
                     "\u6295\u6807\u6587\u4ef6 \u4db5", "\u5546\u52a1\u6807 (\u7b2c1\u518c)");
host.check(host.dialogs() == "Save As PDF", "the Save As PDF dialog");
host.check(host.messages() == "", "no message box");
host.check(host.fileExists("bid.pdf"), "bid.pdf written");
host.check(host.pageFiles() == 0, "the document is empty afterwards");

// @step one page as PNG
scan("8", 64, 48, 100, 1, 30);
host.clearRecords();
host.answerSaveAs("single.png");
scanner.ConvertToJPG();
host.check(host.dialogs() == "Save As PNG", "the Save As PNG dialog");
host.check(host.fileExists("single.PNG"), "one page: single.PNG");
host.check(host.pageFiles() == 0, "the document is empty afterwards");

// @step three pages as PNG
scan("24", 80, 60, 150, 3, 40);
host.answerSaveAs("multi.png");
scanner.ConvertToJPG();
host.check(host.fileExists("multi_0.PNG") && host.fileExists("multi_1.PNG") && host.fileExists("multi_2.PNG"),
           "three pages: multi_0.PNG to multi_2.PNG");
host.check(!host.fileExists("multi.png"), "no file of the chosen name itself");
host.check(host.messages() == "", "no message box");
