// (ASCII only: the script host reads this file in the ANSI code page.)
// The encryption control driven from JScript the way the tendering pages do:
// created by ProgID, called with script values, result strings compared
// here (the console can't show them). Runs in a work directory prepared by
// control_script_test.sh, which then checks the files' bytes.
// Prints one PASS line per case and "PASS: all" at the end; exits with the
// number of failures.
var SOURCE_WRONG = "\u6e90\u6587\u4ef6\u540d\u79f0\u6709\u8bef";
var DESTINATION_WRONG = "\u76ee\u6807\u6587\u4ef6\u540d\u79f0\u6709\u8bef";
var SETUP_FAILED = "\u5efa\u7acb\u5931\u8d25";
var PIN_OPEN_FAILED = "\u6253\u5f00\u8bbe\u5907\u5931\u8d25.";
var CANNOT_OPEN_DEVICE = "\u65e0\u6cd5\u6253\u5f00\u8bbe\u5907";
var NOT_IN_GBK = "\ud55c";  // a Hangul syllable: code page 936 has no such character

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

// [name, method, VerifyPINFlag, PIN, type flag, pass phrase, source, destination, result, destination exists after]
var cases = [
  ["pass phrase encrypts", "E", 0, "", 1, "pw", "plain.bin", "enc-pw.bin", "", true],
  ["pass phrase decrypts", "D", 0, "", 1, "pw", "enc-pw.bin", "round-pw.bin", "", true],
  ["PIN flag 2 checks no PIN", "E", 2, "whatever", 1, "pw", "plain.bin", "enc-pw-flag2.bin", "", true],
  ["PIN flag -1 checks no PIN", "E", -1, "whatever", 1, "pw", "plain.bin", "enc-pw-flagm1.bin", "", true],
  ["empty pass phrase", "E", 0, "", 1, "", "plain.bin", "enc-empty.bin", "", true],
  ["type 7 ignores the pass phrase", "E", 0, "", 7, "pw", "plain.bin", "enc-type7.bin", "", true],
  ["type -1 is the empty key too", "D", 0, "", -1, "pw", "enc-empty.bin", "round-empty.bin", "", true],
  ["Chinese pass phrase", "E", 0, "", 1, "\u53e3\u4ee4", "plain.bin", "enc-gbk.bin", "", true],
  ["the native tool's file decrypts", "D", 0, "", 1, "\u53e3\u4ee4", "native-enc.bin", "native-round.bin", "", true],
  ["wrong pass phrase still succeeds", "D", 0, "", 1, "other", "enc-pw.bin", "wrong.bin", "", true],
  ["missing source", "E", 0, "", 1, "pw", "missing.bin", "never1.bin", SOURCE_WRONG, false],
  ["destination directory missing", "E", 0, "", 1, "pw", "plain.bin", "nodir\\out.bin", DESTINATION_WRONG, false],
  ["source and destination the same file", "E", 0, "", 1, "pw", "victim.bin", ".\\victim.bin", DESTINATION_WRONG, true],
  ["source name not in code page 936", "E", 0, "", 1, "pw", "plain" + NOT_IN_GBK + ".bin", "never2.bin", SOURCE_WRONG, false],
  ["destination name not in code page 936", "E", 0, "", 1, "pw", "plain.bin", "out" + NOT_IN_GBK + ".bin", DESTINATION_WRONG, false],
  ["pass phrase not in code page 936", "E", 0, "", 1, "p" + NOT_IN_GBK, "plain.bin", "never3.bin", SETUP_FAILED, false],
  ["unused pass phrase not in code page 936", "E", 0, "", 7, "p" + NOT_IN_GBK, "plain.bin", "enc-type7b.bin", "", true],
  ["no token: PIN check", "E", 1, "1234", 1, "pw", "plain.bin", "never4.bin", PIN_OPEN_FAILED, false],
  ["no token: PIN check before the token's USERID", "D", 1, "1234", 0, "", "plain.bin", "never5.bin", PIN_OPEN_FAILED, false],
  ["no token: USERID", "E", 0, "", 0, "pw", "plain.bin", "never6.bin", CANNOT_OPEN_DEVICE, false]
];

try {
  var control = new ActiveXObject("Lockvale.EnOrDecrypt");
  for (var i = 0; i < cases.length; i++) {
    var c = cases[i];
    var r = c[1] == "E" ? control.QVEncryptFile(c[2], c[3], c[4], c[5], c[6], c[7])
                        : control.QVDecryptFile(c[2], c[3], c[4], c[5], c[6], c[7]);
    check(c[0], r, c[8]);
    if (c[8] === "") check(c[0] + ": the result is an empty string", typeof r, "string");
    if (c[7].indexOf(NOT_IN_GBK) < 0) check(c[0] + ": destination " + (c[9] ? "written" : "not created"), fso.FileExists(c[7]), c[9]);
  }
} catch (e) {
  WScript.Echo("FAIL: exception " + e.number + " " + e.message);
  failures++;
}
if (failures == 0) WScript.Echo("PASS: all");
WScript.Quit(failures);
