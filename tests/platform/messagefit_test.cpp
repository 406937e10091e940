// Message boxes on a phone-sized screen: shown by the system on a thread of their own, fitted by the
// hook of a CMessageBoxFit, read back from the real windows.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <thread>

#include "platform/messagefit.h"
#include "support/sheetdriver.h"

namespace {

const wchar_t kCaption[] = L"Message fit test";

// The height text needs in its static's font at width, wrapped as the fitted static wraps it.
int NeededHeight(HWND text, int width)
{
    std::wstring content = WindowText(text);
    HDC dc = GetDC(text);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(text, WM_GETFONT, 0, 0)));
    RECT needed{0, 0, width, 0};
    DrawTextW(dc, content.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(text, dc);
    return needed.bottom;
}

TEST(MessageBoxFit, EveryPartOfTheBoxIsOnTheScreenAndTheTextWhole)
{
    // Columns: name, text, type, buttons shown, screen the box is fitted to, and whether the system's
    // layout fits it already (then nothing may change).
    const struct Row {
        const char* name;
        const wchar_t* text;
        UINT type;
        int buttons;
        RECT area;
        bool fitsAlready;
    } rows[] = {
        {"save failure on a phone", L"Unable to save file !\n\nZ:\\work\\main\\build\\sample\\profiles.dat\n\n"
         L"Another program is changing files in this folder.\n\nNothing was saved and your changes are kept: "
         L"tap OK to try again, or Cancel to leave without saving.", MB_OK | MB_ICONEXCLAMATION, 1, {0, 0, 240, 320}, false},
        {"two buttons", L"Would you like to see log file ?\n\nC:\\Program Files\\Kestrova\\Dialpass\\update.log",
         MB_YESNO | MB_ICONHAND, 2, {0, 0, 240, 320}, false},
        {"a path with no place to break", L"Unable to open file !\n\nC:\\AVeryLongFolderNameWithNoSpacesOrBreaks"
         L"ThatGoesOnAndOn\\country.dat", MB_OK | MB_ICONEXCLAMATION, 1, {0, 0, 240, 320}, false},
        {"a sentence sideways", L"No new data available", MB_OK | MB_ICONINFORMATION, 1, {0, 0, 320, 240}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::thread shower([&row] {
            CMessageBoxFit fit(&row.area);
            MessageBoxW(nullptr, row.text, kCaption, row.type);
        });
        HWND box = WaitForWindow(L"#32770", kCaption);
        ASSERT_NE(box, nullptr);
        HWND text = GetDlgItem(box, kMessageBoxTextId);
        RECT window{}, client{};
        GetWindowRect(box, &window);
        GetClientRect(box, &client);
        RECT textPlace = RectIn(box, text);
        bool wraps = (GetWindowLongPtrW(text, GWL_STYLE) & SS_EDITCONTROL) != 0;

        EXPECT_EQ(wraps, !row.fitsAlready) << "text style " << GetWindowLongPtrW(text, GWL_STYLE);
        EXPECT_LE(window.right - window.left, row.area.right - row.area.left);
        EXPECT_LE(window.bottom - window.top, row.area.bottom - row.area.top);
        if (!row.fitsAlready) {
            EXPECT_GE(window.left, row.area.left);
            EXPECT_LE(window.right, row.area.right);
        }
        EXPECT_EQ(WindowText(text), row.text);
        EXPECT_GE(textPlace.left, 0);
        EXPECT_LE(textPlace.right, client.right);
        EXPECT_GE(textPlace.bottom - textPlace.top, NeededHeight(text, textPlace.right - textPlace.left))
            << "the text is cut off at the bottom";
        int seen = 0, rowLeft = client.right, rowRight = 0;
        for (int id : {IDOK, IDYES, IDNO}) {
            HWND button = GetDlgItem(box, id);
            if (!button || !IsWindowVisible(button))
                continue;
            ++seen;
            RECT place = RectIn(box, button);
            EXPECT_GE(place.top, textPlace.bottom) << "button " << id << " over the text";
            EXPECT_LE(place.bottom, client.bottom) << "button " << id << " below the box";
            rowLeft = std::min<int>(rowLeft, place.left);
            rowRight = std::max<int>(rowRight, place.right);
        }
        EXPECT_EQ(seen, row.buttons);
        // The system centres the row in the window, frame included.
        EXPECT_NEAR(rowLeft, client.right - rowRight, window.right - window.left - client.right + 1)
            << "the buttons are not centred";
        AnswerMessageBox(box, row.buttons == 2 ? IDNO : IDOK);
        shower.join();
    }
}

}  // namespace
