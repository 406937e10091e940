// The Update page through the real sheet: the command line it gives the updater, its answer to each
// exit code, "Cancel update", the log viewer, and a real update from the local site that the Card
// settings page shows without leaving the sheet.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>

#include "resources/resource.h"
#include "support/sheetdriver.h"
#include "updatesite.h"

using namespace datatest;
using namespace updatetest;

namespace {

const int kUpdateTab = 3;
const wchar_t kBoxCaption[] = L"Kestrova Dialpass";

// An installation folder whose Update.exe is the stand-in (fakeupdater.exe) told what to do; without
// an order, an empty folder.
struct FakeInstallation {
    explicit FakeInstallation(const char* order)
    {
        if (!order)
            return;
        CopySample(dir.Path());
        CopyFileW((ProgramDir() + L"\\fakeupdater.exe").c_str(), (dir / L"Update.exe").c_str(), FALSE);
        WriteBytes(dir / L"fake.txt", order);
    }
    std::wstring CommandLine() const
    {
        std::string bytes = ReadBytes(dir / L"commandline.txt");
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    }
    TempDir dir;
};

// "UpdateURL" while alive.
struct UpdateUrlScope {
    explicit UpdateUrlScope(const std::wstring& url) { SetRegText(kSettingsKey, L"UpdateURL", url); }
    ~UpdateUrlScope() { DeleteSetting(L"UpdateURL"); }
};

// The updater is given the installation folder with its backslash before each closing quote ("InstallDir"
// has none), and the page answers what it did.
TEST(UpdatePage, AnswersEachOutcomeOfTheUpdater)
{
    const char kFailure[] = "2026-12-06 03:00:00.000  FAILED: HTTP status 404\r\n";
    const wchar_t kAsk[] = L"An error occured\n\nWould you like to see log file ?";
    const char kTwoRuns[] = "==== Update.exe started 2026-12-06 02:00:00 ====\r\n"
                            "Nothing new: version 2\r\n"
                            "==== Update.exe started 2026-12-06 03:00:00 ====\r\n"
                            "2026-12-06 03:00:00.000  FAILED: HTTP status 404\r\n";
    struct Case {
        const char* order;       // null: no Update.exe
        const wchar_t* message;  // null: none
        bool cancel;             // tap "Cancel update" while it runs
        bool question;           // Yes and No, else OK
        const char* log;         // written as update.log, the question answered Yes; null: answered No or OK
        const char* shown = nullptr;  // what the viewer shows, when not the whole log: the last run
    } cases[] = {
        // the stand-in's order, the message, cancelled, a question, the log, what is shown
        {"exit 0", L"Data were updated successfully", false, false, nullptr},
        {"exit 1", L"No new data available", false, false, nullptr},
        {"exit 2", kAsk, false, true, nullptr},
        {"exit 2", kAsk, false, true, kFailure},
        {"exit 2", kAsk, false, true, ""},
        {"exit 2", kAsk, false, true, kTwoRuns, strstr(kTwoRuns + 1, "==== Update")},
        {"exit 3", nullptr, false, false, nullptr},  // no answer the page knows
        {"wait", L"Update tool terminated by user !", true, false, nullptr},
        {nullptr, L"Unable to start update service", false, false, nullptr},
    };
    for (const Case& c : cases) {
        std::string log = c.log ? ", log \"" + std::string(c.log) + "\"" : "";
        SCOPED_TRACE(std::string(c.order ? c.order : "no updater") + log);
        FakeInstallation installation(c.order);
        if (c.log)
            WriteBytes(installation.dir / L"update.log", c.log);
        SheetDriver driver;  // first: it points "InstallDir" at an empty folder of its own
        InstallDirScope scope(installation.dir.Path().c_str());
        UpdateUrlScope url(L"http://127.0.0.1:1/dialpass");
        ASSERT_NE(driver.Open(), nullptr);
        driver.Click(GetDlgItem(driver.ShowPage(kUpdateTab), IDC_CHECK_UPDATES));
        if (c.order) {
            ASSERT_TRUE(WaitUntil([&] { return !installation.CommandLine().empty(); }));
            std::wstring dir = installation.dir.Path() + L"\\";
            EXPECT_EQ(Narrow(installation.CommandLine()),
                      Narrow(L"http://127.0.0.1:1/dialpass \"" + dir + L"\" update.xml \"" + dir +
                             L"\" \"\\Temp\\Dialpass\" \"" + dir + L"update.log\""));
        }
        if (c.cancel) {
            HWND progress = WaitForWindow(L"#32770", L"Update");
            ASSERT_NE(progress, nullptr);
            EXPECT_EQ(WindowText(GetDlgItem(progress, IDCANCEL)), L"Cancel update");
            PostMessageW(GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
        }
        if (!c.message) {
            EXPECT_TRUE(WaitUntil([] { return Windows(L"#32770", L"Update").empty(); }));
        }
        HWND box = WaitForWindow(L"#32770", kBoxCaption, c.message ? 10000 : 500);
        EXPECT_EQ(box != nullptr, c.message != nullptr);
        if (box) {
            EXPECT_EQ(GetDlgItem(box, IDNO) != nullptr, c.question);
            EXPECT_EQ(AnswerMessageBox(box, c.log ? IDYES : c.question ? IDNO : IDOK), c.message);
        }
        HWND viewer = WaitForWindow(L"#32770", L"Log file", c.log ? kWindowTimeout : 300);
        EXPECT_EQ(viewer != nullptr, c.log != nullptr);
        if (viewer) {
            EXPECT_EQ(Narrow(WindowText(GetDlgItem(viewer, IDC_TEXT_FILE))), c.shown ? c.shown : c.log);
            PostMessageW(viewer, WM_COMMAND, IDCANCEL, 0);
            EXPECT_TRUE(WaitUntil([&] { return !IsWindow(viewer); }));
        }
        EXPECT_TRUE(driver.PressCancel());
    }
}

// A real update through the page: Update.exe from the local site; Card settings lists the new
// country as soon as the message is answered, without leaving the sheet.
using UpdatePageAndSite = PublishedSiteTest;

TEST_F(UpdatePageAndSite, InstallsARealUpdateThatCardSettingsShowsAtOnce)
{
    SheetDriver driver;
    InstallDirScope scope(installation.Dir().c_str());
    UpdateUrlScope url(site.Url());
    ASSERT_NE(driver.Open(), nullptr);
    ASSERT_NE(driver.ShowPage(1), nullptr);
    auto listed = [&] {
        return SendMessageW(driver.Control(1, IDC_LOCATIONS), CB_FINDSTRINGEXACT, WPARAM(-1),
                            reinterpret_cast<LPARAM>(L"Zembla")) != CB_ERR;
    };
    EXPECT_FALSE(listed());
    driver.Click(GetDlgItem(driver.ShowPage(kUpdateTab), IDC_CHECK_UPDATES));
    HWND box = WaitForWindow(L"#32770", kBoxCaption, 30000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(AnswerMessageBox(box), L"Data were updated successfully");
    EXPECT_TRUE(WaitUntil(listed));
    EXPECT_EQ(ReadBytes(installation / L"database.ver").substr(0, 3), "2\r\n");
    EXPECT_TRUE(driver.PressCancel());
}

} // namespace
