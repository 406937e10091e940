// The desktop's simulated cellular modem: its line devices and the operator set in the registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "data/records.h"
#include "phone/phoneline.h"
#include "platform/cellmodem.h"
#include "data/datatest.h"

namespace {

class CellModemTest : public testing::Test {
protected:
    void SetUp() override { RegDeleteKeyW(HKEY_CURRENT_USER, kCellularSimulatorKey); }
    void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, kCellularSimulatorKey); }

    void SetOperator(const wchar_t* name)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kCellularSimulatorKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr), ERROR_SUCCESS);
        RegSetValueExW(key, kCellularSimulatorOperator, 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                       DWORD((wcslen(name) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
    }
};

TEST_F(CellModemTest, OffersTheCellularLineAmongItsDevices)
{
    CPhoneLine line(SimulatedModemFunctions());
    ASSERT_EQ(line.Open(), 1);
    EXPECT_EQ(line.deviceCount, kSimulatedLineCount);
    ASSERT_LT(line.deviceId, kSimulatedLineCount);
    EXPECT_STREQ(kSimulatedLineNames[line.deviceId], L"Cellular Line");
    EXPECT_NE(line.line, HLINE(0));
    EXPECT_EQ(line.extVersion, 0x00010000u);
}

TEST_F(CellModemTest, ReportsTheConfiguredOperatorAtEveryQuery)
{
    CPhoneLine line(SimulatedModemFunctions());
    ASSERT_EQ(line.Open(), 1);
    EXPECT_EQ(line.GetOperatorCode(), 0) << "no configuration: no network";
    SetOperator(L"26201");
    EXPECT_EQ(line.GetOperatorCode(), 26201);
    SetOperator(L"");
    EXPECT_EQ(line.GetOperatorCode(), 0);
}

TEST_F(CellModemTest, TakesBackEachHandleOnce)
{
    const LineFunctions& modem = SimulatedModemFunctions();
    CPhoneLine line(modem);
    ASSERT_EQ(line.Open(), 1);
    HLINE opened = line.line;
    HLINEAPP session = line.lineApp;
    line.Close();
    EXPECT_EQ(modem.close(opened), LINEERR_INVALLINEHANDLE);
    EXPECT_EQ(modem.shutdown(session), LINEERR_INVALAPPHANDLE);
    LINEOPERATOR op = {};
    EXPECT_EQ(modem.getCurrentOperator(opened, &op), LINEERR_INVALLINEHANDLE);
}

TEST_F(CellModemTest, DetectionFollowsTheConfiguredNetwork)
{
    datatest::TempDir install;
    datatest::InstallDirScope installDir{install.Path().c_str()};
    datatest::WriteScrambled(install / L"providers.dat", "26201;49;\r\n23415;44;\r\n");
    ClearDatabaseTables();
    EXPECT_EQ(DetectCurrentLocation(), 0) << "no network configured";
    SetOperator(L"23415");
    EXPECT_EQ(DetectCurrentLocation(), 44);
    SetOperator(L"00101");
    EXPECT_EQ(DetectCurrentLocation(), 0) << "operator not in providers.dat";
    ClearDatabaseTables();
}

}  // namespace
