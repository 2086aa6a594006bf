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

// Token access: the user PIN check
inline constexpr char kPinOpenDeviceFailed[] = "\xb4\xf2\xbf\xaa\xc9\xe8\xb1\xb8\xca\xa7\xb0\xdc.";  // 打开设备失败.
inline constexpr char kPinWrong[] = "PIN\xb2\xbb\xd5\xfd\xc8\xb7.";                                   // PIN不正确.

// Token access: reading the USERID
inline constexpr char kCannotOpenDevice[] = "\xce\xde\xb7\xa8\xb4\xf2\xbf\xaa\xc9\xe8\xb1\xb8";  // 无法打开设备
inline constexpr char kSerialNumberReadFailed[] =
    "\xb6\xc1\xc8\xa1\xc9\xe8\xb1\xb8\xd0\xf2\xc1\xd0\xba\xc5\xca\xa7\xb0\xdc!";  // 读取设备序列号失败!
inline constexpr char kChangeDirectoryFailed[] =
    "\xc7\xd0\xbb\xbb\xc4\xbf\xc2\xbc\xca\xa7\xb0\xdc(\xc7\xeb\xc8\xb7\xb1\xa3USERID\xc8\xd4\xc8\xbb\xb4\xe6\xd3\xda"
    "KEY\xd6\xd0)!";  // 切换目录失败(请确保USERID仍然存于KEY中)!
inline constexpr char kOpenFileFailed[] = "\xb4\xf2\xbf\xaa\xce\xc4\xbc\xfe\xca\xa7\xb0\xdc!";  // 打开文件失败!
inline constexpr char kUserIdReadFailed[] = "\xb6\xc1\xc8\xa1USBKEYUSERID\xca\xa7\xb0\xdc";      // 读取USBKEYUSERID失败

}  // namespace lockvale::msg
