#pragma once
// What the virtual scanner delivers and which faults it simulates. Read when a
// session opens the source: first the file (section [scanner] of the file
// named by VSCAN_CONFIG, else virtualscanner.ini beside the source's DLL),
// then environment variables VSCAN_<KEY> (KEY upper case), which win.
#include <windows.h>

#include <string>

#include "page_pattern.h"

namespace vscan {

struct Settings {
  // Pages of one scan, and how they look.
  int pages = 3;                 // pages
  PageFormat format;             // width, height, depth (1, 8, 8p, 24), dpi
  int seed = 0;                  // seed: page n of a session shows picture seed + n
  // The user interface.
  bool autoScan = true;          // autoscan: start scanning as soon as enabled
  bool closeAfterScan = true;    // close_after: ask to close once the scan is done
  // Simulations.
  bool closeBeforeScan = false;  // close_before_scan: the user closes the window, no page
  int cancelPage = -1;           // cancel_page: this transfer (0-based, in the scan) ends in TWRC_CANCEL
  int failPage = -1;             // fail_page: this transfer ends in TWRC_FAILURE
  int imageInfoFailPage = -1;    // imageinfo_fail_page: DAT_IMAGEINFO fails for this page
  bool unknownCount = false;     // unknown_count: pending count 0xFFFF until the last page
  bool refuseTransferCount = false;  // refuse_xfercount: MSG_SET of CAP_XFERCOUNT -> TWRC_CHECKSTATUS
  bool openFails = false;        // opends_fail: MSG_OPENDS fails
  std::string logPath;           // log: append every triplet received to this file
};

Settings LoadSettings(HMODULE sourceModule);

}  // namespace vscan
