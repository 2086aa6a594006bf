// control.js encrypt|decrypt VERIFY_PIN_FLAG PIN TYPE_FLAG SOURCE DESTINATION
// The script host reads scripts in the ANSI code page: keep this file ASCII.
var a = WScript.Arguments;
var pass = "\u6295\u6807\u53e3\u4ee4";
var control = new ActiveXObject("Lockvale.EnOrDecrypt");
var r = a(0) == "encrypt"
    ? control.QVEncryptFile(parseInt(a(1)), a(2), parseInt(a(3)), pass, a(4), a(5))
    : control.QVDecryptFile(parseInt(a(1)), a(2), parseInt(a(3)), pass, a(4), a(5));
// The console shows no Chinese: the result goes to a UTF-16 file.
var out = new ActiveXObject("Scripting.FileSystemObject").CreateTextFile("result.txt", true, true);
out.Write(r);
out.Close();
WScript.Quit(r === "" ? 0 : 1);
