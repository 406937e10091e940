// Detection through Windows' Mobile Broadband service, played by the test server fakembn.dll that each
// test registers per user for the interface manager's class (and removes again), and configures.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "data/datatest.h"
#include "phone/phoneline.h"
#include "platform/cellmodem.h"
#include "platform/fakembn/fakembn.h"
#include "platform/mobilebroadband.h"
#include "resources/resource.h"
#include "support/dialogdriver.h"
#include "support/sheetdriver.h"

namespace {

const wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{BDFEE05B-4418-11DD-90ED-001C257CCFF1}";

const FakeMbnInterface kHome = {MBN_REGISTER_STATE_HOME, MBN_RADIO_ON, MBN_RADIO_ON, L"26201"};
const FakeMbnInterface kRoamingInBritain = {MBN_REGISTER_STATE_ROAMING, MBN_RADIO_ON, MBN_RADIO_ON, L"23415"};

FakeMbnNetwork OneInterface(const FakeMbnInterface& only, FakeMbnFailure failing = kFailNothing)
{
    return {1, {only, {}}, failing, 0};
}
void Configure(const FakeMbnNetwork& network) { FakeMbnConfigure(&network); }

// The test server, registered for this user while alive.
class BroadbandService {
public:
    BroadbandService() { Register(true); }
    ~BroadbandService() { Register(false); }
    // Per user, as Windows reads classes; Wine 8 reads them from HKLM\Software\Classes only (it has no
    // per-user view of HKEY_CLASSES_ROOT), so the throwaway prefix gets the machine's entry as well.
    void Register(bool on)
    {
        std::wstring server = std::wstring(kClassKey) + L"\\InprocServer32";
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegDeleteTreeW(root, kClassKey);
            if (!on)
                continue;
            RegSetKeyValueW(root, server.c_str(), nullptr, REG_SZ, path.c_str(), DWORD((path.size() + 1) * sizeof(wchar_t)));
            // Free-threaded: the client's multithreaded apartment calls it directly, with no proxy to register.
            RegSetKeyValueW(root, server.c_str(), L"ThreadingModel", REG_SZ, L"Both", sizeof(L"Both"));
        }
    }
    const std::wstring path = datatest::ProgramDir() + L"\\fakembn.dll";
};

class MobileBroadband : public testing::Test {
protected:
    void SetUp() override
    {
        SetSimulatedOperator(nullptr);
        datatest::WriteScrambled(install / L"country.dat", "276;Germany;49\r\n826;United Kingdom;44\r\n");
        datatest::WriteScrambled(install / L"providers.dat", "26201;49;\r\n23415;44;\r\n");
        ClearDatabaseTables();
    }
    void TearDown() override
    {
        SetSimulatedOperator(nullptr);
        ClearDatabaseTables();
    }

    BroadbandService service;
    datatest::InstallFolder install;
};

TEST_F(MobileBroadband, DetectionAnswersTheRegisteredNetworksCountryOrNothingAtOnce)
{
    const FakeMbnInterface radioOff = {MBN_REGISTER_STATE_HOME, MBN_RADIO_OFF, MBN_RADIO_ON, L"23415"};
    const FakeMbnInterface switchOff = {MBN_REGISTER_STATE_HOME, MBN_RADIO_ON, MBN_RADIO_OFF, L"26201"};
    const FakeMbnInterface searching = {MBN_REGISTER_STATE_SEARCHING, MBN_RADIO_ON, MBN_RADIO_ON, L"26201"};
    const FakeMbnInterface partner = {MBN_REGISTER_STATE_PARTNER, MBN_RADIO_ON, MBN_RADIO_ON, L"23415"};
    const FakeMbnInterface denied = {MBN_REGISTER_STATE_DENIED, MBN_RADIO_ON, MBN_RADIO_ON, L"26201"};
    const FakeMbnNetwork secondRoaming = {2, {searching, kRoamingInBritain}, kFailNothing, 0};
    const FakeMbnNetwork noInterface = {0, {}, kFailNothing, 0};
    // class: registered for this user; simulator: its "Operator" value (null: none); line: a "Cellular Line"
    // opens through the service's own functions
    const struct {
        const char* what; bool registered; const wchar_t* simulated; FakeMbnNetwork network; int country, line;
    } cases[] = {
        // what                                class  simulator  network                                  country line
        {"registered at home",                 true,  nullptr,   OneInterface(kHome),                      49,    1},
        {"with a partner network",             true,  nullptr,   OneInterface(partner),                    44,    1},
        {"the second interface, roaming",      true,  nullptr,   secondRoaming,                            44,    1},
        {"searching: not registered",          true,  nullptr,   OneInterface(searching),                  0,     1},
        {"registration denied",                true,  nullptr,   OneInterface(denied),                     0,     1},
        {"radio off",                          true,  nullptr,   OneInterface(radioOff),                   0,     1},
        {"radio off by the device's switch",   true,  nullptr,   OneInterface(switchOff),                  0,     1},
        {"no interface",                       true,  nullptr,   noInterface,                              0,     0},
        {"interface list fails",               true,  nullptr,   OneInterface(kHome, kFailGetInterfaces),  0,     0},
        {"register state fails",               true,  nullptr,   OneInterface(kHome, kFailRegisterState),  0,     1},
        {"provider id fails",                  true,  nullptr,   OneInterface(kHome, kFailProviderId),     0,     1},
        {"class not registered",               false, nullptr,   OneInterface(kHome),                      0,     0},
        {"the simulator's value comes first",  true,  L"23415",  OneInterface(kHome),                      44,    1},
        {"even when it names no network",      true,  L"",       OneInterface(kHome),                      0,     1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        service.Register(c.registered);
        FakeMbnConfigure(&c.network);
        SetSimulatedOperator(c.simulated);
        DWORD start = GetTickCount();
        EXPECT_EQ(DetectCurrentLocation(), c.country);
        EXPECT_LT(GetTickCount() - start, kBroadbandDeadline) << "ms: a query waited for its deadline";
        CPhoneLine line(MobileBroadbandFunctions());
        EXPECT_EQ(line.Open(), c.line);
        line.Close();
        EXPECT_EQ(FakeMbnLiveObjects(), 0) << "objects of the server still referenced";
    }
}

// A service that hangs costs one deadline; it is not asked again until it has answered.
TEST_F(MobileBroadband, ASlowServiceIsLeftBehindAtTheDeadline)
{
    const DWORD slow = kBroadbandDeadline + 1500;
    FakeMbnNetwork network = OneInterface(kHome);
    network.answerDelay = slow;
    FakeMbnConfigure(&network);
    DWORD start = GetTickCount();
    EXPECT_EQ(DetectCurrentLocation(), 0);
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited + 50, kBroadbandDeadline);
    EXPECT_LT(waited, slow) << "ms: detection waited for the server";
    BroadbandNetwork answer;
    start = GetTickCount();
    EXPECT_FALSE(QueryBroadbandNetwork(answer)) << "asked again while the first query still hangs";
    EXPECT_LT(GetTickCount() - start, kBroadbandDeadline / 2) << "ms: the second query waited for the hung one";
    EXPECT_EQ(FakeMbnLiveObjects(), 1) << "a second worker asked the hung service";
    Configure(OneInterface(kHome));  // the first query's worker still sleeps its configured delay
    EXPECT_TRUE(WaitUntil([] { return DetectCurrentLocation() == 49; }, slow + 2 * kBroadbandDeadline))
        << "detection after the slow answer came";
    EXPECT_TRUE(WaitUntil([&] { return FakeMbnLiveObjects() == 0; })) << "the late answer was not released";
}

// The real sheet: "Card settings" chooses the detected country when none is stored. ("Detect" is the card
// workflow's test and a failed detection's the profile dialog's: both go through DetectCurrentLocation.)
TEST_F(MobileBroadband, CardSettingsDetectsThroughTheService)
{
    SheetDriver driver;
    datatest::InstallDirScope again{install.Path().c_str()};  // the driver names a folder of its own
    datatest::WriteScrambled(install / L"manufacturers.dat", "1;Brightwren;Brightwren Telecard\r\n");
    ASSERT_TRUE(StoreTestProfiles(install / L"profiles.dat", {L"Travel"}));
    Configure(OneInterface(kRoamingInBritain));
    // A prefix's first COM activation starts Wine's COM services, which on a busy machine can outlast
    // the deadline: warmed here, so that the sheet's own detection is what is tested.
    ASSERT_TRUE(WaitUntil([] { return DetectCurrentLocation() == 44; }, 20000)) << "the service never answered";
    DeleteSetting(L"CurrentLocation");  // a location stored by an earlier test in this prefix would win
    ASSERT_NE(driver.Open(), nullptr);
    ASSERT_NE(driver.ShowPage(1), nullptr);
    EXPECT_EQ(WindowText(driver.Control(1, IDC_LOCATIONS)), L"United Kingdom") << "chosen when none is stored";
    ASSERT_TRUE(driver.PressCancel());
}

}  // namespace
