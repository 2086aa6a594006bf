// The bidder's day as the tendering page runs it, with the page's two
// controls <object id="scanner"> and <object id="crypt">: the demo runs it as
//   pagehost.exe scanner=VORLA.FolvaneCtrl.1 crypt=Lockvale.EnOrDecrypt bidder_day.js
// with the virtual scanner installed and FT_ND_API_TOKEN naming the stand-in
// token's image (PIN 1234).
useVirtualScanner({width: 827, height: 1169, dpi: 100});  // A4 pages at 100 dpi
// @step the bidder chooses the scanner
chooseScanner(scanner);
// @step and scans three pages; the page waits while the scanner delivers
scanPages(scanner, 3);
// @step binds the pages into one PDF, named in the Save As dialog
host.answerSaveAs("tender-scan.pdf");
scanner.ConvertToPDF("扫描控件", "投标人", "投标文件 第一册", "商务标");
host.check(host.fileExists("tender-scan.pdf"), "tender-scan.pdf written");
// @step and encrypts it with the token's USERID after the PIN check
var result = crypt.QVEncryptFile(1, "1234", 0, "", host.fullPath("tender-scan.pdf"),
                                 host.fullPath("tender-scan.pdf.enc"));
host.check(result === "", "tender-scan.pdf.enc encrypted");
