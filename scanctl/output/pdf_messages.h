#pragma once
// Texts of the PDF output as the control shows them (code page 936, GBK; the
// UTF-8 text in each comment) and the one text it writes to standard output.
namespace folvane::msg {

// The output file cannot be created (another program may hold it open).
inline constexpr char kPdfCannotCreate[] =
    "\xce\xde\xb7\xa8\xb4\xb4\xbd\xa8\x50\x44\x46\xce\xc4\xbc\xfe\xa3\xac\xb8\xc3\xce\xc4\xbc\xfe\xbf\xc9\xc4\xdc"
    "\xd2\xd1\xb1\xbb\xc6\xe4\xcb\xfb\xb3\xcc\xd0\xf2\xb4\xf2\xbf\xaa\xa1\xa3";  // 无法创建PDF文件，该文件可能已被其他程序打开。
// No page file could be read: no PDF was written.
inline constexpr char kPdfNoPage[] =
    "\xc3\xbb\xd3\xd0\xbf\xc9\xd2\xd4\xd7\xaa\xbb\xbb\xb5\xc4\xd2\xb3\xc3\xe6\xa3\xac\xce\xb4\xc9\xfa\xb3\xc9\x50\x44"
    "\x46\xce\xc4\xbc\xfe\xa1\xa3";  // 没有可以转换的页面，未生成PDF文件。
// Writing or closing the PDF failed (disk full, medium removed): the partial
// file is removed and the page files are kept.
inline constexpr char kPdfWriteFailed[] =
    "\x50\x44\x46\xce\xc4\xbc\xfe\xd0\xb4\xc8\xeb\xca\xa7\xb0\xdc\xa3\xac\xc9\xa8\xc3\xe8\xb5\xc4\xd2\xb3\xc3\xe6"
    "\xd2\xd1\xb1\xa3\xc1\xf4\xa1\xa3";  // PDF文件写入失败，扫描的页面已保留。

// Written to standard output when the output file cannot be created, byte for
// byte as integrators' scripts have always seen it.
inline constexpr char kPdfCannotCreateConsole[] = "Can not create PDF file.\nMay be file opened by another process";

}  // namespace folvane::msg
