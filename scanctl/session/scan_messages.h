#pragma once
// Texts the scanning session shows to the user: narrow text in code page 936
// (GBK), each with its UTF-8 text in the comment.

namespace folvane::msg {

// Shown when no scanner source could be opened and enabled.
inline constexpr char kInstallScanner[] =
    "\xc7\xeb\xb0\xb2\xd7\xb0\xd2\xbb\xb8\xf6\xc9\xa8\xc3\xe8\xd2\xc7\xc9\xe8\xb1\xb8\xa1\xa3";  // 请安装一个扫描仪设备。

// Shown by either output when the document has no page yet.
inline constexpr char kScanFirst[] = "\xc7\xeb\xcf\xc8\xc9\xa8\xc3\xe8\xce\xc4\xbc\xfe\xa1\xa3";  // 请先扫描文件。

}  // namespace folvane::msg
