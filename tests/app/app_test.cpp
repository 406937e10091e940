// The collector of temporaries (CStrings among them) and the application object that empties it.
#include <gtest/gtest.h>

#include <string>

#include "app/app.h"
#include "base/collector.h"
#include "base/cstring.h"
#include "resources/resource.h"

namespace {

struct Recorder : public CObject {
    Recorder(std::string* log, char name) : log(log), name(name) {}
    ~Recorder() override { log->push_back(name); }
    std::string* log;
    char name;
};

// The collector deletes newest first, nothing before Collect, and what it still holds goes with it.
TEST(AppTest, TemporariesStayValidUntilCollected)
{
    std::string log;
    {
        CGarbageCollector collector;
        collector.Collect();  // with nothing held
        for (char name : {'A', 'B', 'C'})
            new (collector.Alloc(sizeof(Recorder))) Recorder(&log, name);
        collector.Collect();
        EXPECT_EQ(log, "CBA");
        new (collector.Alloc(sizeof(Recorder))) Recorder(&log, 'X');
    }
    EXPECT_EQ(log, "CBAX") << "the collector's end deletes what it still holds";
    garbageCollector.Collect();
    CString* message = TempResourceString(IDS_AUTODETECT_FAILED);
    CString* copy = TempCopy(*message);
    CString* none = TempString(static_cast<const wchar_t*>(nullptr));
    TempString(L"more temporaries in between");
    EXPECT_STREQ(message->Text(), L"Autodetection failed !");
    EXPECT_STREQ(copy->Text(), L"Autodetection failed !");
    EXPECT_NE(copy->Buffer(), message->Buffer());
    EXPECT_EQ(none->Buffer(), nullptr);
    // The applet's application object empties the collector when the Control Panel lets it go, and at idle time.
    CApp app;
    NewTemporary<Recorder>(&log, 'E');
    EXPECT_EQ(app.ExitInstance(9), 9);
    EXPECT_EQ(log, "CBAXE");
    NewTemporary<Recorder>(&log, 'I');
    EXPECT_EQ(app.OnIdle(0), 0);
    EXPECT_EQ(log, "CBAXEI");
}

} // namespace
