// "About": the picture and the fixed texts, the same at every opening, and nothing saved.
#include <gtest/gtest.h>
#include <windows.h>

#include "support/sheetdriver.h"

namespace {

const int kAboutTab = 4;

// The bitmap static without an id: the product picture.
HWND Picture(HWND page)
{
    for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetDlgCtrlID(child) & 0xFFFF) == 0xFFFF && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            return child;
    return nullptr;
}

TEST(AboutPage, ShowsPictureNameVersionAndBuildAtEveryOpening)
{
    const struct {
        int id;
        const wchar_t* text;
    } texts[] = {
        {1053, L"About"}, {1056, L"Kestrova Dialpass for Pocket PC"}, {1057, L"Version:"},
        {1054, L"Dialpass 1.0"}, {1058, L"Build:"}, {1055, L"0701311"},
    };
    DeleteSetting(L"PhoneSettings");
    SheetDriver driver;
    ASSERT_TRUE(driver.Loaded());
    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(testing::Message() << "opening " << opening);
        ASSERT_NE(driver.Open(), nullptr);
        HWND page = driver.ShowPage(kAboutTab);
        ASSERT_NE(page, nullptr);
        for (const auto& t : texts)
            EXPECT_EQ(WindowText(GetDlgItem(page, t.id)), t.text) << "control " << t.id;
        HWND picture = Picture(page);
        ASSERT_NE(picture, nullptr);
        BITMAP bitmap{};
        HGDIOBJ image = reinterpret_cast<HGDIOBJ>(SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
        ASSERT_EQ(GetObjectW(image, sizeof(bitmap), &bitmap), int(sizeof(bitmap)));
        EXPECT_EQ(bitmap.bmWidth, 150);
        EXPECT_EQ(bitmap.bmHeight, 40);
        ASSERT_TRUE(driver.PressOk());
    }
    DWORD value;
    EXPECT_FALSE(ReadSetting(L"PhoneSettings", value)) << "About saved something";
}

} // namespace
