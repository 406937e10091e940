// Opening the cellular line and detecting the network's country through a fake telephony table.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/records.h"
#include "phone/phoneline.h"
#include "data/datatest.h"

namespace {

// What the fake phone offers and what it was asked; the table's plain functions reach it through `phone`.
struct FakePhone {
    std::vector<std::wstring> names;
    std::vector<DWORD> noVersion;  // devices whose API version cannot be negotiated
    bool initFails = false;
    bool openRefused = false;
    bool extensionRefused = false;
    bool operatorFails = false;
    std::wstring operatorName = L"26201";

    int initCount = 0;
    std::wstring appName;
    DWORD initApiVersion = 0;
    DWORD paramsSize = 0;
    DWORD paramsOptions = 0;
    std::vector<DWORD> probeSizes;  // declared size of the first lineGetDevCaps of each device
    std::vector<DWORD> negotiatedRanges;
    int openCount = 0;
    DWORD openedDevice = 0xFFFFFFFF;
    DWORD openApiVersion = 0, openPrivileges = 0, openMediaModes = 0;
    DWORD extLow = 0, extHigh = 0;
    int operatorQueries = 0;
    std::vector<HLINE> closed;
    std::vector<HLINEAPP> shutDown;
};

FakePhone* phone = nullptr;
const HLINEAPP kApp = 0x1234;
const HLINE kLine = 0x5678;

LONG WINAPI FakeInitializeEx(HLINEAPP* app, HINSTANCE, LINECALLBACK, const wchar_t* name, DWORD* count,
                             DWORD* version, LINEINITIALIZEEXPARAMS* params)
{
    ++phone->initCount;
    phone->appName = name ? name : L"";
    phone->initApiVersion = *version;
    phone->paramsSize = params->dwTotalSize;
    phone->paramsOptions = params->dwOptions;
    if (phone->initFails)
        return LINEERR_NODRIVER;
    *app = kApp;
    *count = DWORD(phone->names.size());
    return 0;
}

LONG WINAPI FakeNegotiateApi(HLINEAPP, DWORD id, DWORD low, DWORD high, DWORD* version, LINEEXTENSIONID*)
{
    phone->negotiatedRanges.push_back(low);
    phone->negotiatedRanges.push_back(high);
    for (DWORD refused : phone->noVersion)
        if (refused == id)
            return LINEERR_INCOMPATIBLEAPIVERSION;
    *version = 0x00020000;
    return 0;
}

LONG WINAPI FakeGetDevCaps(HLINEAPP, DWORD id, DWORD, DWORD, LINEDEVCAPS* caps)
{
    const std::wstring& name = phone->names[id];
    DWORD nameBytes = DWORD((name.size() + 1) * sizeof(wchar_t));
    DWORD needed = sizeof(LINEDEVCAPS) + nameBytes;
    if (caps->dwTotalSize < needed) {
        phone->probeSizes.push_back(caps->dwTotalSize);
        caps->dwNeededSize = needed;
        return 0;
    }
    caps->dwNeededSize = caps->dwUsedSize = needed;
    caps->dwLineNameOffset = sizeof(LINEDEVCAPS);
    caps->dwLineNameSize = nameBytes;
    memcpy(reinterpret_cast<BYTE*>(caps) + sizeof(LINEDEVCAPS), name.c_str(), nameBytes);
    return 0;
}

LONG WINAPI FakeOpen(HLINEAPP, DWORD id, HLINE* line, DWORD version, DWORD, DWORD_PTR, DWORD privileges,
                     DWORD modes, LINECALLPARAMS*)
{
    ++phone->openCount;
    phone->openedDevice = id;
    phone->openApiVersion = version;
    phone->openPrivileges = privileges;
    phone->openMediaModes = modes;
    if (phone->openRefused) {
        *line = 0xDEAD;  // a refusing driver may leave anything behind
        return LINEERR_RESOURCEUNAVAIL;
    }
    *line = kLine;
    return 0;
}

LONG WINAPI FakeNegotiateExt(HLINEAPP, DWORD, DWORD, DWORD low, DWORD high, DWORD* version)
{
    phone->extLow = low;
    phone->extHigh = high;
    if (phone->extensionRefused)
        return LINEERR_INCOMPATIBLEEXTVERSION;
    *version = 0x00010000;
    return 0;
}

LONG WINAPI FakeGetOperator(HLINE, LINEOPERATOR* op)
{
    ++phone->operatorQueries;
    if (phone->operatorFails)
        return LINEERR_OPERATIONFAILED;
    lstrcpynW(op->lpszNumName, phone->operatorName.c_str(), MAX_LENGTH_OPERATOR_NUMERIC);
    return 0;
}

LONG WINAPI FakeClose(HLINE line)
{
    phone->closed.push_back(line);
    return 0;
}

LONG WINAPI FakeShutdown(HLINEAPP app)
{
    phone->shutDown.push_back(app);
    return 0;
}

const LineFunctions fakeFunctions = {
    FakeInitializeEx, FakeNegotiateApi, FakeGetDevCaps, FakeOpen, FakeNegotiateExt, FakeGetOperator, FakeClose,
    FakeShutdown,
};

class PhoneLineTest : public testing::Test {
protected:
    void SetUp() override
    {
        phone = &fake;
        const char lines[] = "26201;49;\r\n0;44;\r\n23415;44;\r\n";
        operators.ParseBuffer(lines, sizeof(lines) - 1);
    }
    void TearDown() override { phone = nullptr; }

    FakePhone fake;
    OperatorTable operators;
};

TEST_F(PhoneLineTest, OpenStartsTheSessionAsTheDeviceExpects)
{
    fake.names = {L"Modem", L"Cellular Line"};
    CPhoneLine line(fakeFunctions);
    ASSERT_EQ(line.Open(), 1);
    EXPECT_EQ(fake.appName, L"Kestrova Line");
    EXPECT_EQ(fake.initApiVersion, 0x00020000u);
    EXPECT_EQ(fake.paramsSize, sizeof(LINEINITIALIZEEXPARAMS));
    EXPECT_EQ(fake.paramsOptions, DWORD(LINEINITIALIZEEXOPTION_USEEVENT));
    EXPECT_EQ(fake.negotiatedRanges, (std::vector<DWORD>{0x00010004, 0x00020000, 0x00010004, 0x00020000}));
    EXPECT_EQ(fake.probeSizes, (std::vector<DWORD>{292, 292}));
    EXPECT_EQ(line.deviceId, 1u);
    EXPECT_EQ(fake.openedDevice, 1u);
    EXPECT_EQ(fake.openApiVersion, 0x00020000u);
    EXPECT_EQ(fake.openPrivileges, DWORD(LINECALLPRIVILEGE_OWNER));
    EXPECT_EQ(fake.openMediaModes, DWORD(LINEMEDIAMODE_INTERACTIVEVOICE));
    EXPECT_EQ(fake.extLow, 0x00010000u);
    EXPECT_EQ(fake.extHigh, 0x00020000u);
    EXPECT_EQ(line.extVersion, 0x00010000u);
    EXPECT_EQ(line.line, kLine);
}

TEST_F(PhoneLineTest, DetectionAnswersTheOperatorsCountryOrZero)
{
    struct Case {
        const char* what;
        std::vector<std::wstring> names;
        std::vector<DWORD> noVersion;
        bool initFails, openRefused, extensionRefused, operatorFails;
        const wchar_t* operatorName;
        int expected;
        int opens, closes, shutdowns;
        DWORD opened;
    } cases[] = {
        {"registered in Germany", {L"Modem", L"Cellular Line"}, {}, false, false, false, false, L"26201", 49, 1, 1, 1, 1},
        {"numeric name read like atol", {L"Cellular Line"}, {}, false, false, false, false, L"  23415x9", 44, 1, 1, 1, 0},
        {"operator missing from the table", {L"Cellular Line"}, {}, false, false, false, false, L"99999", 0, 1, 1, 1, 0},
        {"non-numeric operator", {L"Cellular Line"}, {}, false, false, false, false, L"Net", 0, 1, 1, 1, 0},
        {"operator query fails", {L"Cellular Line"}, {}, false, false, false, true, L"26201", 0, 1, 1, 1, 0},
        {"no cellular line", {L"Modem", L"IrDA"}, {}, false, false, false, false, L"26201", 0, 0, 0, 1, 0xFFFFFFFF},
        {"name differs in case", {L"cellular line"}, {}, false, false, false, false, L"26201", 0, 0, 0, 1, 0xFFFFFFFF},
        {"name with more after it", {L"Cellular Line 2"}, {}, false, false, false, false, L"26201", 0, 0, 0, 1, 0xFFFFFFFF},
        {"two cellular lines: the last one", {L"Cellular Line", L"Modem", L"Cellular Line"}, {}, false, false, false, false, L"26201", 49, 1, 1, 1, 2},
        {"version refused: device skipped", {L"Cellular Line", L"Cellular Line"}, {1}, false, false, false, false, L"26201", 49, 1, 1, 1, 0},
        {"no devices", {}, {}, false, false, false, false, L"26201", 0, 0, 0, 1, 0xFFFFFFFF},
        {"telephony not available", {L"Cellular Line"}, {}, true, false, false, false, L"26201", 0, 0, 0, 0, 0xFFFFFFFF},
        {"open refused", {L"Cellular Line"}, {}, false, true, false, false, L"26201", 0, 1, 0, 1, 0},
        {"extension refused", {L"Cellular Line"}, {}, false, false, true, false, L"26201", 0, 1, 1, 1, 0},
    };
    for (const Case& c : cases) {
        fake = FakePhone();
        fake.names = c.names;
        fake.noVersion = c.noVersion;
        fake.initFails = c.initFails;
        fake.openRefused = c.openRefused;
        fake.extensionRefused = c.extensionRefused;
        fake.operatorFails = c.operatorFails;
        fake.operatorName = c.operatorName;
        int result = -1;
        {
            CPhoneLine line(fakeFunctions);
            result = line.DetectLocation(operators);
        }
        EXPECT_EQ(result, c.expected) << c.what;
        EXPECT_EQ(fake.openCount, c.opens) << c.what;
        if (c.opens) {
            EXPECT_EQ(fake.openedDevice, c.opened) << c.what;
        }
        EXPECT_EQ(int(fake.closed.size()), c.closes) << c.what;
        EXPECT_EQ(int(fake.shutDown.size()), c.shutdowns) << c.what;
        for (HLINE closed : fake.closed)
            EXPECT_EQ(closed, kLine) << c.what;
        for (HLINEAPP app : fake.shutDown)
            EXPECT_EQ(app, kApp) << c.what;
    }
}

TEST_F(PhoneLineTest, EmptyOperatorNameAnswersZeroWithoutWalkingTheTable)
{
    // The table's line "0;44;" would answer 44 if an operator code of 0 were looked up.
    fake.names = {L"Cellular Line"};
    fake.operatorName = L"";
    CPhoneLine line(fakeFunctions);
    EXPECT_EQ(line.DetectLocation(operators), 0);
    EXPECT_EQ(fake.operatorQueries, 1);
}

TEST_F(PhoneLineTest, HandlesAreReleasedAtMostOnce)
{
    fake.names = {L"Cellular Line"};
    {
        CPhoneLine line(fakeFunctions);
        EXPECT_EQ(line.DetectLocation(operators), 49);
        EXPECT_EQ(line.Close(), 1);
        EXPECT_EQ(line.Close(), 1);
        EXPECT_EQ(line.line, HLINE(0));
        EXPECT_EQ(line.lineApp, HLINEAPP(0));
    }
    EXPECT_EQ(fake.closed, std::vector<HLINE>{kLine});
    EXPECT_EQ(fake.shutDown, std::vector<HLINEAPP>{kApp});
}

TEST_F(PhoneLineTest, OneLineObjectOpensOnceForSeveralQueries)
{
    fake.names = {L"Cellular Line"};
    CPhoneLine line(fakeFunctions);
    EXPECT_EQ(line.DetectLocation(operators), 49);
    fake.operatorName = L"23415";
    EXPECT_EQ(line.DetectLocation(operators), 44);
    EXPECT_EQ(fake.initCount, 1);
    EXPECT_EQ(fake.openCount, 1);
    EXPECT_EQ(fake.operatorQueries, 2);
}

TEST_F(PhoneLineTest, ConstructedLineIsClosedAndDestroyingItReleasesNothing)
{
    {
        CPhoneLine line(fakeFunctions);
        EXPECT_EQ(line.lineApp, HLINEAPP(0));
        EXPECT_EQ(line.line, HLINE(0));
        EXPECT_EQ(line.isOpen, 0);
    }
    EXPECT_TRUE(fake.closed.empty());
    EXPECT_TRUE(fake.shutDown.empty());
}

TEST_F(PhoneLineTest, TwoDetectionsOpenTwiceAndReadTheOperatorFileOnce)
{
    datatest::TempDir install;
    datatest::InstallDirScope installDir{install.Path().c_str()};
    datatest::WriteScrambled(install / L"providers.dat", "23415;44;\r\n26201;49;\r\n");
    ClearDatabaseTables();
    fake.names = {L"Cellular Line"};

    EXPECT_EQ(DetectCurrentLocation(fakeFunctions), 49);
    DeleteFileW((install / L"providers.dat").c_str());  // a second read would now fail
    EXPECT_EQ(DetectCurrentLocation(fakeFunctions), 49);

    EXPECT_EQ(fake.initCount, 2);
    EXPECT_EQ(fake.openCount, 2);
    EXPECT_EQ(fake.closed.size(), 2u);
    EXPECT_EQ(fake.shutDown.size(), 2u);
    EXPECT_EQ(operatorTable.Count(), 2u);
    ClearDatabaseTables();
}

TEST_F(PhoneLineTest, MissingOperatorFileIsReportedByTheReader)
{
    datatest::TempDir install;
    datatest::InstallDirScope installDir{install.Path().c_str()};
    ClearDatabaseTables();
    fake.names = {L"Cellular Line"};
    try {
        DetectCurrentLocation(fakeFunctions);
        ADD_FAILURE() << "no CTableException";
    } catch (const CTableException& error) {
        EXPECT_EQ(error.code, kTableOpenFailed);
        EXPECT_EQ(std::wstring(error.text), (install / L"providers.dat"));
    }
    EXPECT_EQ(fake.initCount, 0);  // the line is not touched before the table is there
}

}  // namespace
