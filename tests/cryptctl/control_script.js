// (ASCII only: the script host reads this file in the ANSI code page.)
// The encryption control driven from JScript the way the tendering pages do:
// created by ProgID, called with script values, result strings compared
// here (the console can't show them). Runs in a work directory prepared by
// control_script_test.sh: token images *.img made there are "plugged in" by
// copying one over current.img (the stand-in token library reads the file
// that FT_ND_API_TOKEN names on every call) and unplugged by deleting it.
// The wrapper then checks the bytes of the files written here.
// Prints one PASS line per check and "PASS: all" at the end; exits with the
// number of failures.
var SOURCE_WRONG = "\u6e90\u6587\u4ef6\u540d\u79f0\u6709\u8bef";
var DESTINATION_WRONG = "\u76ee\u6807\u6587\u4ef6\u540d\u79f0\u6709\u8bef";
var SETUP_FAILED = "\u5efa\u7acb\u5931\u8d25";
var PIN_OPEN_FAILED = "\u6253\u5f00\u8bbe\u5907\u5931\u8d25.";
var PIN_WRONG = "PIN\u4e0d\u6b63\u786e.";
var CANNOT_OPEN_DEVICE = "\u65e0\u6cd5\u6253\u5f00\u8bbe\u5907";
var SERIAL_FAILED = "\u8bfb\u53d6\u8bbe\u5907\u5e8f\u5217\u53f7\u5931\u8d25!";
var DIRECTORY_FAILED = "\u5207\u6362\u76ee\u5f55\u5931\u8d25(\u8bf7\u786e\u4fddUSERID\u4ecd\u7136\u5b58\u4e8eKEY\u4e2d)!";
var OPEN_FILE_FAILED = "\u6253\u5f00\u6587\u4ef6\u5931\u8d25!";
var USERID_FAILED = "\u8bfb\u53d6USBKEYUSERID\u5931\u8d25";
var NOT_IN_GBK = "\ud55c";  // a Hangul syllable: code page 936 has no such character
// Characters code page 936 lacks but would "best fit" to a look-alike it has:
// A with grave to a with grave, the yen sign to the full-width yen sign.
var A_GRAVE = "\u00c0", A_GRAVE_LOOKALIKE = "\u00e0";
var YEN = "\u00a5", YEN_LOOKALIKE = "\uffe5";

var fso = new ActiveXObject("Scripting.FileSystemObject");
var failures = 0;

function check(name, got, expected) {
  if (got === expected) {
    WScript.Echo("PASS: " + name);
  } else {
    WScript.Echo("FAIL: " + name + ": got " + escape(String(got)) + ", expected " + escape(expected));
    failures++;
  }
}

function plug(image) {
  if (fso.FileExists("current.img")) fso.DeleteFile("current.img");
  if (image) fso.CopyFile(image, "current.img");
}

// [name, token image (null: none plugged in), new object?, method,
//  VerifyPINFlag, PIN, type flag, pass phrase, source, destination,
//  expected result, destination exists afterwards]
// good.img: PIN 1234, USERID "USER-0042"; other.img: USERID "OTHER-7".
var cases = [
  // Pass phrase and empty key: no token needed.
  ["pass phrase encrypts", null, false, "E", 0, "", 1, "pw", "plain.bin", "enc-pw.bin", "", true],
  ["pass phrase decrypts", null, false, "D", 0, "", 1, "pw", "enc-pw.bin", "round-pw.bin", "", true],
  ["PIN flag 2 checks no PIN", null, false, "E", 2, "whatever", 1, "pw", "plain.bin", "enc-pw-flag2.bin", "", true],
  ["PIN flag -1 checks no PIN", null, false, "E", -1, "whatever", 1, "pw", "plain.bin", "enc-pw-flagm1.bin", "", true],
  ["empty pass phrase", null, false, "E", 0, "", 1, "", "plain.bin", "enc-empty.bin", "", true],
  ["type 7 ignores the pass phrase", null, false, "E", 0, "", 7, "pw", "plain.bin", "enc-type7.bin", "", true],
  ["type -1 is the empty key too", null, false, "D", 0, "", -1, "pw", "enc-empty.bin", "round-empty.bin", "", true],
  ["Chinese pass phrase", null, false, "E", 0, "", 1, "\u53e3\u4ee4", "plain.bin", "enc-gbk.bin", "", true],
  ["the native tool's file decrypts", null, false, "D", 0, "", 1, "\u53e3\u4ee4", "native-enc.bin", "native-round.bin", "", true],
  ["wrong pass phrase still succeeds", null, false, "D", 0, "", 1, "other", "enc-pw.bin", "wrong.bin", "", true],
  // File failures.
  ["missing source", null, false, "E", 0, "", 1, "pw", "missing.bin", "never1.bin", SOURCE_WRONG, false],
  ["destination directory missing", null, false, "E", 0, "", 1, "pw", "plain.bin", "nodir\\out.bin", DESTINATION_WRONG, false],
  ["source and destination the same file", null, false, "E", 0, "", 1, "pw", "victim.bin", ".\\victim.bin", DESTINATION_WRONG, true],
  // Text code page 936 can't express: never a look-alike.
  ["source name not in code page 936", null, false, "E", 0, "", 1, "pw", "plain" + NOT_IN_GBK + ".bin", "never2.bin", SOURCE_WRONG, false],
  ["destination name not in code page 936", null, false, "E", 0, "", 1, "pw", "plain.bin", "out" + NOT_IN_GBK + ".bin", DESTINATION_WRONG, false],
  ["pass phrase not in code page 936", null, false, "E", 0, "", 1, "p" + NOT_IN_GBK, "plain.bin", "never3.bin", SETUP_FAILED, false],
  ["unused pass phrase not in code page 936", null, false, "E", 0, "", 7, "p" + NOT_IN_GBK, "plain.bin", "enc-type7b.bin", "", true],
  ["PIN not in code page 936", "good.img", false, "E", 1, "1" + NOT_IN_GBK, 1, "pw", "plain.bin", "never4.bin", PIN_WRONG, false],
  ["source name whose look-alike exists", null, false, "E", 0, "", 1, "pw", "plain" + A_GRAVE + ".bin", "never17.bin", SOURCE_WRONG, false],
  ["destination name with a look-alike", null, false, "E", 0, "", 1, "pw", "plain.bin", "out" + YEN + ".bin", DESTINATION_WRONG, false],
  // No token plugged in.
  ["no token: PIN check", null, false, "E", 1, "1234", 1, "pw", "plain.bin", "never5.bin", PIN_OPEN_FAILED, false],
  ["no token: PIN check comes first", null, false, "D", 1, "1234", 0, "", "plain.bin", "never6.bin", PIN_OPEN_FAILED, false],
  ["no token: USERID", null, false, "E", 0, "", 0, "pw", "plain.bin", "never7.bin", CANNOT_OPEN_DEVICE, false],
  // The flag table with a token.
  ["PIN, then the USERID as key", "good.img", false, "E", 1, "1234", 0, "ignored", "plain.bin", "enc-userid.bin", "", true],
  ["USERID without PIN check", "good.img", false, "D", 0, "wrong", 0, "", "enc-userid.bin", "round-userid.bin", "", true],
  ["PIN, then the pass phrase", "good.img", false, "E", 1, "1234", 1, "pw", "plain.bin", "enc-pw-pin.bin", "", true],
  ["PIN, then the empty key", "good.img", false, "E", 1, "1234", 7, "pw", "plain.bin", "enc-empty-pin.bin", "", true],
  ["wrong PIN", "good.img", false, "E", 1, "9999", 1, "pw", "plain.bin", "never8.bin", PIN_WRONG, false],
  ["empty PIN is presented and refused", "good.img", false, "E", 1, "", 0, "", "plain.bin", "never9.bin", PIN_WRONG, false],
  ["a later read replaces the USERID", "other.img", false, "E", 0, "", 0, "", "plain.bin", "enc-other.bin", "", true],
  // Fixed code refused: the USERID of the object's earlier read stays the key...
  ["refused fixed code keeps the earlier USERID", "fixed-code.img", false, "E", 0, "", 0, "", "plain.bin", "enc-kept.bin", "", true],
  // ...and an object that never read one doesn't go on without a key.
  ["refused fixed code without an earlier USERID", "fixed-code.img", true, "E", 0, "", 0, "", "plain.bin", "never16.bin", USERID_FAILED, false],
  ["Chinese USERID keys with its own bytes", "chinese.img", false, "E", 0, "", 0, "", "plain.bin", "enc-chinese.bin", "", true],
  ["empty USERID is the empty key", "empty-userid.img", false, "E", 0, "", 0, "", "plain.bin", "enc-empty-userid.bin", "", true],
  // Token failures, each before any file is opened.
  ["token library gives no context: PIN", "no-context.img", false, "E", 1, "1234", 1, "pw", "plain.bin", "never10.bin", PIN_OPEN_FAILED, false],
  ["token library gives no context: USERID", "no-context.img", false, "E", 0, "", 0, "", "plain.bin", "never11.bin", CANNOT_OPEN_DEVICE, false],
  ["serial number unreadable", "serial.img", false, "E", 0, "", 0, "", "plain.bin", "never12.bin", SERIAL_FAILED, false],
  ["no USERID directory", "nodir.img", false, "E", 0, "", 0, "", "plain.bin", "never13.bin", DIRECTORY_FAILED, false],
  ["no USERID file", "nofile.img", false, "E", 0, "", 0, "", "plain.bin", "never14.bin", OPEN_FILE_FAILED, false],
  ["USERID file unreadable", "readfail.img", false, "E", 0, "", 0, "", "plain.bin", "never15.bin", USERID_FAILED, false]
];

try {
  fso.CopyFile("plain.bin", "plain" + A_GRAVE_LOOKALIKE + ".bin");
  var control = new ActiveXObject("Lockvale.EnOrDecrypt");
  for (var i = 0; i < cases.length; i++) {
    var c = cases[i];
    plug(c[1]);
    if (c[2]) control = new ActiveXObject("Lockvale.EnOrDecrypt");
    var r = c[3] == "E" ? control.QVEncryptFile(c[4], c[5], c[6], c[7], c[8], c[9])
                        : control.QVDecryptFile(c[4], c[5], c[6], c[7], c[8], c[9]);
    check(c[0], r, c[10]);
    if (c[10] === "") check(c[0] + ": the result is an empty string", typeof r, "string");
    if (c[9].indexOf(NOT_IN_GBK) < 0) check(c[0] + ": destination " + (c[11] ? "written" : "not created"), fso.FileExists(c[9]), c[11]);
  }
  check("no file under the look-alike name", fso.FileExists("out" + YEN_LOOKALIKE + ".bin"), false);
} catch (e) {
  WScript.Echo("FAIL: exception " + e.number + " " + e.message);
  failures++;
}
plug(null);
if (failures == 0) WScript.Echo("PASS: all");
WScript.Quit(failures);
