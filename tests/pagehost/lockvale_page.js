// The encryption control on a page: sited in Wine's ATL host window, called
// from the page's script. page_test.sh checks the files against openssl.
// Not marked safe: the tendering site's zone lets its pages script it.
host.check(host.markedSafe("crypt") == "", "not marked safe for scripting or initialising");
// @step encrypt with a Chinese pass phrase, decrypt again
var r = crypt.QVEncryptFile(0, "", 1, "\u53e3\u4ee4", "plain.bin", "enc.bin");
host.check(r === "", "encrypted: [" + r + "]");
r = crypt.QVDecryptFile(0, "", 1, "\u53e3\u4ee4", "enc.bin", "round.bin");
host.check(r === "", "decrypted: [" + r + "]");
// @step a missing source comes back as the control's message
r = crypt.QVEncryptFile(0, "", 1, "pw", "missing.bin", "never.bin");
host.check(r !== "" && !host.fileExists("never.bin"), "missing source: " + r);
