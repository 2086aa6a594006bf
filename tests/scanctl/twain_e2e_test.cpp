// End to end under Wine: the scan session with Wine's own data source manager
// (TWAIN_32.DLL) and the virtual scanner installed as its source, driven from
// a host window and this thread's message loop as the control's thread would
// be. Needs the virtual scanner installed (scripts/install-virtual-scanner.sh)
// and WINEDLLOVERRIDES with "sane.ds=n;gphoto2.ds=".
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <tiffio.h>

#include "dialogs/dialog_answerer.h"
#include "page_pattern.h"
#include "session/message_hook.h"
#include "session/scan_messages.h"
#include "session/scan_session.h"
#include "win_test_support.h"

namespace folvane::test {
namespace {

using bidder::dialogs::DialogAnswerer;

using vscan::PixelKind;

constexpr DWORD kScanTimeoutMs = 15000;

// The settings the virtual scanner reads from the environment of this process.
class ScannerSettings {
 public:
  ScannerSettings() { Clear(); }
  ~ScannerSettings() { Clear(); }
  void Set(const std::string& key, const std::string& value) {
    SetEnvironmentVariableA(("VSCAN_" + key).c_str(), value.c_str());
    keys_.push_back(key);
  }

 private:
  void Clear() {
    for (const char* key : {"CONFIG", "PAGES", "WIDTH", "HEIGHT", "DEPTH", "DPI", "SEED", "AUTOSCAN",
                            "CLOSE_AFTER", "CLOSE_BEFORE_SCAN", "CANCEL_PAGE", "FAIL_PAGE", "IMAGEINFO_FAIL_PAGE",
                            "UNKNOWN_COUNT", "REFUSE_XFERCOUNT", "OPENDS_FAIL", "LOG"}) {
      SetEnvironmentVariableA((std::string("VSCAN_") + key).c_str(), nullptr);
    }
    // An empty configuration file: only the environment counts.
    SetEnvironmentVariableA("VSCAN_CONFIG", "NUL");
  }
  std::vector<std::string> keys_;
};

struct Picture {
  std::uint32_t width = 0, height = 0;
  float xDpi = 0, yDpi = 0;
  std::vector<vscan::Rgb> pixels;  // top row first
};

// A page file as colours, read through libtiff's RGBA interface so that
// every encoding of a page compares alike.
bool ReadPage(const std::string& path, Picture& picture) {
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return false;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &picture.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &picture.height);
  std::uint16_t unit = RESUNIT_INCH;
  TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (unit == RESUNIT_INCH) {
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &picture.xDpi);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &picture.yDpi);
  }
  std::vector<std::uint32_t> rgba(static_cast<std::size_t>(picture.width) * picture.height);
  const int ok = TIFFReadRGBAImageOriented(tif, picture.width, picture.height, rgba.data(), ORIENTATION_TOPLEFT, 0);
  TIFFClose(tif);
  if (!ok) return false;
  picture.pixels.clear();
  for (std::uint32_t v : rgba) {
    picture.pixels.push_back({static_cast<std::uint8_t>(TIFFGetR(v)), static_cast<std::uint8_t>(TIFFGetG(v)),
                              static_cast<std::uint8_t>(TIFFGetB(v))});
  }
  return true;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether `lines` occur in `text` in this order (others may come between).
::testing::AssertionResult InOrder(const std::string& text, const std::vector<std::string>& lines) {
  std::size_t at = 0;
  for (const std::string& line : lines) {
    const std::size_t found = text.find(line + "\n", at);
    if (found == std::string::npos) return ::testing::AssertionFailure() << "missing, in order: " << line << "\nlog:\n" << text;
    at = found + line.size() + 1;
  }
  return ::testing::AssertionSuccess();
}

class TwainEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, sizeof(windows));
    // Wine's manager looks in the directory of the process's architecture.
    const char* const directory = sizeof(void*) == 8 ? "\\twain_64" : "\\twain_32";
    const std::string source = std::string(windows) + directory + "\\sane.ds";
    ASSERT_NE(GetFileAttributesA(source.c_str()), INVALID_FILE_ATTRIBUTES)
        << "the virtual scanner is not installed as " << source;
    ASSERT_TRUE(AttachMessageHook(GetCurrentThreadId()));
    logPath = temp.Prefix() + "scanner.log";
    settings.Set("LOG", logPath);
  }
  void TearDown() override { DetachMessageHook(GetCurrentThreadId()); }

  // A session as the control sets it up: hook, manager, published.
  std::unique_ptr<CScanSession> NewSession() {
    auto session = std::make_unique<CScanSession>();
    EXPECT_TRUE(session->OpenWithHostWindow(host.get()));
    EXPECT_TRUE(session->IsManagerOpen());
    PublishHookSession(*session);
    return session;
  }
  // Starts a scan and runs the loop until the source has closed again.
  void ScanUntilClosed(CScanSession& session) {
    session.StartScan();
    ASSERT_TRUE(PumpUntil([&] { return !session.IsSourceOpen(); }, kScanTimeoutMs))
        << "the source never asked to close; log:\n" << ReadText(logPath);
  }
  void ExpectPages(const CScanSession& session, std::uint32_t first, std::uint32_t count, const vscan::PageFormat& f,
                   std::uint32_t firstPicture) {
    for (std::uint32_t n = 0; n < count; ++n) {
      SCOPED_TRACE("page file " + std::to_string(first + n));
      Picture page;
      ASSERT_TRUE(ReadPage(session.PageFileName(first + n), page));
      ASSERT_EQ(page.width, f.width);
      ASSERT_EQ(page.height, f.height);
      EXPECT_FLOAT_EQ(page.xDpi, static_cast<float>(f.dpi));
      EXPECT_FLOAT_EQ(page.yDpi, static_cast<float>(f.dpi));
      std::size_t wrong = 0;
      for (std::uint32_t y = 0; y < f.height; ++y) {
        for (std::uint32_t x = 0; x < f.width; ++x) {
          if (!(page.pixels[static_cast<std::size_t>(y) * f.width + x] == vscan::PixelColour(f.kind, firstPicture + n, x, y))) {
            ++wrong;
          }
        }
      }
      EXPECT_EQ(wrong, 0u) << "pixels differing from the scanner's page";
    }
  }

  PrivateTempDirectory temp;
  ScannerSettings settings;
  HostWindow host;
  DialogAnswerer dialogs;
  std::string logPath;
};

TEST_F(TwainEndToEndTest, SelectScanScanAgainDelete) {
  settings.Set("PAGES", "3");
  settings.Set("WIDTH", "120");
  settings.Set("HEIGHT", "90");
  settings.Set("DEPTH", "24");
  auto session = NewSession();

  // The manager's Select Source dialog, answered with OK.
  EXPECT_TRUE(session->UserSelectSource());
  EXPECT_EQ(dialogs.Answered(), 1);
  EXPECT_FALSE(dialogs.WatchdogFired());
  EXPECT_STREQ(session->SourceIdentity().ProductName, "Folvane Virtual Scanner");

  ScanUntilClosed(*session);
  ASSERT_EQ(session->PageCount(), 3u);
  vscan::PageFormat format;
  format.width = 120;
  format.height = 90;
  format.kind = PixelKind::kRgb;
  ExpectPages(*session, 0, 3, format, 0);
  EXPECT_TRUE(InOrder(ReadText(logPath),
                      {"CONTROL IDENTITY OPENDS -> SUCCESS", "CONTROL CAPABILITY SET -> SUCCESS",
                       "CONTROL USERINTERFACE ENABLEDS -> SUCCESS", "signal XFERREADY",
                       "IMAGE IMAGEINFO GET -> SUCCESS", "IMAGE IMAGENATIVEXFER GET -> XFERDONE",
                       "CONTROL PENDINGXFERS ENDXFER -> SUCCESS", "IMAGE IMAGENATIVEXFER GET -> XFERDONE",
                       "CONTROL PENDINGXFERS ENDXFER -> SUCCESS", "IMAGE IMAGENATIVEXFER GET -> XFERDONE",
                       "CONTROL PENDINGXFERS ENDXFER -> SUCCESS", "signal CLOSEDSREQ",
                       "CONTROL USERINTERFACE DISABLEDS -> SUCCESS", "CONTROL IDENTITY CLOSEDS -> SUCCESS"}));

  // A second scan continues the numbering (other pictures this time).
  settings.Set("PAGES", "2");
  settings.Set("SEED", "7");
  ScanUntilClosed(*session);
  ASSERT_EQ(session->PageCount(), 5u);
  ExpectPages(*session, 3, 2, format, 7);
  EXPECT_EQ(session->PageFileName(4), temp.Prefix() + "4.tif");

  session->DeletePages();
  EXPECT_EQ(session->PageCount(), 0u);
  for (int n = 0; n < 5; ++n) EXPECT_FALSE(temp.Exists(std::to_string(n) + ".tif")) << n;
  EXPECT_EQ(dialogs.Answered(), 1) << "no message box";
}

TEST_F(TwainEndToEndTest, EveryDepthArrivesPixelForPixel) {
  struct Case {
    const char* depth;
    PixelKind kind;
  };
  for (const Case& c : {Case{"1", PixelKind::kBlackWhite}, Case{"8", PixelKind::kGrey},
                        Case{"8p", PixelKind::kPalette}, Case{"24", PixelKind::kRgb}}) {
    SCOPED_TRACE(std::string("depth ") + c.depth);
    settings.Set("PAGES", "2");
    settings.Set("WIDTH", "77");  // rows that need padding
    settings.Set("HEIGHT", "33");
    settings.Set("DEPTH", c.depth);
    settings.Set("DPI", "300");
    auto session = NewSession();
    ScanUntilClosed(*session);
    ASSERT_EQ(session->PageCount(), 2u);
    vscan::PageFormat format;
    format.width = 77;
    format.height = 33;
    format.kind = c.kind;
    format.dpi = 300;
    ExpectPages(*session, 0, 2, format, 0);
  }
}

// The scanner's simulations, as the user of the control would see them:
// the pages that arrive, and the source closed again at the end.
TEST_F(TwainEndToEndTest, SimulatedFaultsEndTheScanCleanly) {
  struct Case {
    const char* name;
    const char* key;
    const char* value;
    std::uint32_t pages;
    const char* logLine;
  };
  for (const Case& c : {
           Case{"close_before_scan", "CLOSE_BEFORE_SCAN", "1", 0, "signal CLOSEDSREQ"},
           Case{"cancel", "CANCEL_PAGE", "1", 2, "IMAGE IMAGENATIVEXFER GET -> CANCEL"},
           Case{"failure", "FAIL_PAGE", "1", 1, "CONTROL PENDINGXFERS RESET -> SUCCESS"},
           Case{"unknown_count", "UNKNOWN_COUNT", "1", 3, "CONTROL PENDINGXFERS ENDXFER -> SUCCESS"},
           Case{"transfer_count_refused", "REFUSE_XFERCOUNT", "1", 3, "CONTROL CAPABILITY SET -> CHECKSTATUS"},
           Case{"image_info_fails", "IMAGEINFO_FAIL_PAGE", "1", 1, "IMAGE IMAGEINFO GET -> FAILURE"},
       }) {
    SCOPED_TRACE(c.name);
    DeleteFileA(logPath.c_str());
    ScannerSettings clean;
    settings.Set("LOG", logPath);
    settings.Set("PAGES", "3");
    settings.Set(c.key, c.value);
    auto session = NewSession();
    ScanUntilClosed(*session);
    EXPECT_EQ(session->PageCount(), c.pages);
    const std::string log = ReadText(logPath);
    EXPECT_NE(log.find(std::string(c.logLine) + "\n"), std::string::npos) << log;
    EXPECT_EQ(dialogs.Answered(), 0);
    settings.Set(c.key, "");
  }
}

TEST_F(TwainEndToEndTest, ScannerSettingsComeFromItsFileAndTheEnvironmentWins) {
  const std::string file = temp.Prefix() + "scanner.ini";
  {
    std::ofstream ini(file);
    ini << "[scanner]\npages=2\nwidth=40\nheight=30\ndepth=8\n";
  }
  settings.Set("CONFIG", file);
  auto session = NewSession();
  ScanUntilClosed(*session);
  ASSERT_EQ(session->PageCount(), 2u);
  vscan::PageFormat format;
  format.width = 40;
  format.height = 30;
  format.kind = PixelKind::kGrey;
  ExpectPages(*session, 0, 2, format, 0);

  settings.Set("PAGES", "1");
  ScanUntilClosed(*session);
  EXPECT_EQ(session->PageCount(), 3u);
}

TEST_F(TwainEndToEndTest, SourceThatCannotBeOpenedShowsTheInstallMessage) {
  settings.Set("OPENDS_FAIL", "1");
  auto session = NewSession();
  session->StartScan();
  EXPECT_FALSE(session->IsSourceOpen());
  EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{msg::kInstallScanner}));
  EXPECT_FALSE(dialogs.WatchdogFired());
  EXPECT_EQ(session->PageCount(), 0u);
}

}  // namespace
}  // namespace folvane::test
