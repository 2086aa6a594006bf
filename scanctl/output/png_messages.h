#pragma once
// The texts the scanning control shows about a PNG export, as the control
// shows them: narrow text in code page 936 (GBK), the UTF-8 text in each
// comment. Tests check the bytes against those texts.

namespace folvane::msg {

// A page file could not be loaded (missing, unreadable, not an image).
inline constexpr char kPngPageUnreadable[] = "\xce\xc4\xbc\xfe\xd7\xaa\xbb\xbb\xca\xa7\xb0\xdc\xa1\xa3";  // 文件转换失败。
// A PNG file could not be written (full disk, no permission); the scanned
// pages are kept so that the export can be repeated.
inline constexpr char kPngSaveFailed[] =
    "\xcd\xbc\xc6\xac\xb1\xa3\xb4\xe6\xca\xa7\xb0\xdc\xa3\xac\xd2\xd1\xb1\xa3\xc1\xf4\xc9\xa8\xc3\xe8\xd2\xb3\xa1\xa3";  // 图片保存失败，已保留扫描页。

}  // namespace folvane::msg
