#pragma once
// The encryption control's result strings, as its callers see them: narrow
// text in code page 936 (GBK). Each constant gives the text in UTF-8 in its
// comment; tests check the bytes against those texts.

namespace lockvale::msg {

// File cipher
inline constexpr char kSourceNameWrong[] = "\xd4\xb4\xce\xc4\xbc\xfe\xc3\xfb\xb3\xc6\xd3\xd0\xce\xf3";  // 源文件名称有误
inline constexpr char kDestinationNameWrong[] =
    "\xc4\xbf\xb1\xea\xce\xc4\xbc\xfe\xc3\xfb\xb3\xc6\xd3\xd0\xce\xf3";                  // 目标文件名称有误
inline constexpr char kSetupFailed[] = "\xbd\xa8\xc1\xa2\xca\xa7\xb0\xdc";                // 建立失败

}  // namespace lockvale::msg
