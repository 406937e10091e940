// Detecting the network's country through a fake telephony table.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "data/records.h"
#include "phone/phoneline.h"
#include "support/heap.h"

namespace {

// What the fake phone offers and what it was asked; its functions check the arguments the device expects.
enum Refusal { kInit = 1, kOpen = 2, kExtension = 4, kOperator = 8 };
struct FakePhone {
    std::vector<std::wstring> names = {L"Cellular Line"};
    DWORD noVersion = 9;  // device whose API version cannot be negotiated
    int refuse = 0;
    std::wstring operatorName = L"26201";
    int opens = 0;
    DWORD opened = 0xFFFFFFFF;
    std::set<DWORD> probed;  // devices whose first lineGetDevCaps came
    std::vector<HLINE> closed;
    std::vector<HLINEAPP> shutDown;
};

FakePhone fake;
const HLINEAPP kApp = 0x1234;
const HLINE kLine = 0x5678;

const LineFunctions fakeFunctions = {
    [](HLINEAPP* app, HINSTANCE, LINECALLBACK, const wchar_t* name, DWORD* count, DWORD* version,
       LINEINITIALIZEEXPARAMS* params) -> LONG {
        EXPECT_STREQ(name, L"Kestrova Line");
        EXPECT_EQ(*version, 0x00020000u);
        EXPECT_EQ(params->dwTotalSize, sizeof(LINEINITIALIZEEXPARAMS));
        EXPECT_EQ(params->dwOptions, DWORD(LINEINITIALIZEEXOPTION_USEEVENT));
        if (fake.refuse & kInit)
            return LINEERR_NODRIVER;
        *app = kApp;
        *count = DWORD(fake.names.size());
        return 0;
    },
    [](HLINEAPP, DWORD id, DWORD low, DWORD high, DWORD* version, LINEEXTENSIONID*) -> LONG {
        EXPECT_EQ(std::make_pair(low, high), std::make_pair(0x00010004ul, 0x00020000ul));
        *version = 0x00020000;
        return id == fake.noVersion ? LINEERR_INCOMPATIBLEAPIVERSION : 0;
    },
    [](HLINEAPP, DWORD id, DWORD, DWORD, LINEDEVCAPS* caps) -> LONG {
        EXPECT_TRUE(!fake.probed.insert(id).second || caps->dwTotalSize == 292) << "first call: " << caps->dwTotalSize;
        const std::wstring& name = fake.names[id];
        DWORD nameBytes = DWORD((name.size() + 1) * sizeof(wchar_t));
        caps->dwNeededSize = sizeof(LINEDEVCAPS) + nameBytes;
        if (caps->dwTotalSize < caps->dwNeededSize)
            return 0;
        caps->dwLineNameOffset = sizeof(LINEDEVCAPS);
        caps->dwLineNameSize = nameBytes;
        memcpy(caps + 1, name.c_str(), nameBytes);
        return 0;
    },
    [](HLINEAPP, DWORD id, HLINE* line, DWORD version, DWORD, DWORD_PTR, DWORD privileges, DWORD modes,
       LINECALLPARAMS*) -> LONG {
        ++fake.opens;
        fake.opened = id;
        EXPECT_EQ(version, 0x00020000u);
        EXPECT_EQ(privileges, DWORD(LINECALLPRIVILEGE_OWNER));
        EXPECT_EQ(modes, DWORD(LINEMEDIAMODE_INTERACTIVEVOICE));
        *line = fake.refuse & kOpen ? 0xDEAD : kLine;  // a refusing driver may leave anything behind
        return fake.refuse & kOpen ? LINEERR_RESOURCEUNAVAIL : 0;
    },
    [](HLINEAPP, DWORD, DWORD, DWORD low, DWORD high, DWORD* version) -> LONG {
        EXPECT_EQ(std::make_pair(low, high), std::make_pair(0x00010000ul, 0x00020000ul));
        *version = 0x00010000;
        return fake.refuse & kExtension ? LINEERR_INCOMPATIBLEEXTVERSION : 0;
    },
    [](HLINE, LINEOPERATOR* op) -> LONG {
        lstrcpynW(op->lpszNumName, fake.operatorName.c_str(), MAX_LENGTH_OPERATOR_NUMERIC);
        return fake.refuse & kOperator ? LINEERR_OPERATIONFAILED : 0;
    },
    [](HLINE line) -> LONG { return fake.closed.push_back(line), 0; },
    [](HLINEAPP app) -> LONG { return fake.shutDown.push_back(app), 0; },
};

TEST(PhoneLineTest, DetectionAnswersTheOperatorsCountryOrZero)
{
    OperatorTable operators;
    const char lines[] = "26201;49;\r\n0;44;\r\n23415;44;\r\n";  // "0;44" answers a lookup of code 0
    operators.ParseBuffer(lines, sizeof(lines) - 1);
    struct Case {  // refuse: Refusal flags; opened: the device id opened
        const char* what; std::vector<std::wstring> names; DWORD noVersion; int refuse; const wchar_t* operatorName;
        int expected, opens, closes, shutdowns; DWORD opened;
    } cases[] = {
        {"registered in Germany", {L"Modem", L"Cellular Line"}, 9, 0, L"26201", 49, 1, 1, 1, 1},
        {"numeric name read like atol", {L"Cellular Line"}, 9, 0, L"  23415x9", 44, 1, 1, 1, 0},
        {"operator missing from the table", {L"Cellular Line"}, 9, 0, L"99999", 0, 1, 1, 1, 0},
        {"empty operator: table not walked", {L"Cellular Line"}, 9, 0, L"", 0, 1, 1, 1, 0},
        {"operator query fails", {L"Cellular Line"}, 9, kOperator, L"26201", 0, 1, 1, 1, 0},
        {"no cellular line", {L"Modem", L"IrDA"}, 9, 0, L"26201", 0, 0, 0, 1, 0},
        {"name differs in case", {L"cellular line"}, 9, 0, L"26201", 0, 0, 0, 1, 0},
        {"name with more after it", {L"Cellular Line 2"}, 9, 0, L"26201", 0, 0, 0, 1, 0},
        {"two cellular lines: the higher id", {L"Cellular Line", L"Modem", L"Cellular Line"}, 9, 0, L"26201", 49, 1, 1, 1, 2},
        {"version refused: device skipped", {L"Cellular Line", L"Cellular Line"}, 1, 0, L"26201", 49, 1, 1, 1, 0},
        {"telephony not available", {L"Cellular Line"}, 9, kInit, L"26201", 0, 0, 0, 0, 0},
        {"open refused", {L"Cellular Line"}, 9, kOpen, L"26201", 0, 1, 0, 1, 0},
        {"extension refused", {L"Cellular Line"}, 9, kExtension, L"26201", 0, 1, 1, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake = FakePhone();
        fake.names = c.names, fake.noVersion = c.noVersion, fake.refuse = c.refuse, fake.operatorName = c.operatorName;
        {
            CPhoneLine line(fakeFunctions);
            EXPECT_EQ(line.DetectLocation(operators), c.expected);
            line.Close();  // and the destructor: each handle is released once
        }
        EXPECT_EQ(fake.opens, c.opens);
        EXPECT_EQ(fake.opened, c.opens ? c.opened : 0xFFFFFFFF);
        EXPECT_EQ(fake.closed, std::vector<HLINE>(c.closes, kLine));
        EXPECT_EQ(fake.shutDown, std::vector<HLINEAPP>(c.shutdowns, kApp));
    }
    // Every tap of "Detect" probes the lines again: what a detection allocates goes back.
    fake = FakePhone();
    SIZE_T before = BusyHeapBytes();
    for (int i = 0; i < 200; ++i, fake = FakePhone())
        CPhoneLine(fakeFunctions).DetectLocation(operators);
    EXPECT_LE(BusyHeapBytes(), before + 1024) << "heap bytes in use after 200 detections";
}

}  // namespace
