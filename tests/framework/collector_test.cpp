#include <gtest/gtest.h>

#include <string>

#include "base/collector.h"

namespace {

class Recorder : public CObject {
public:
    Recorder(std::string* log, char name) : log(log), name(name) {}
    ~Recorder() override { log->push_back(name); }

private:
    std::string* log;
    char name;
};

// Newest first, nothing before Collect, usable again after it, and what is left goes with the collector.
TEST(CollectorTest, DeletesNewestFirstAndCanBeUsedAgain)
{
    std::string log;
    {
        CGarbageCollector collector;
        collector.Collect();  // with nothing held
        for (char name : {'A', 'B', 'C'})
            new (collector.Alloc(sizeof(Recorder))) Recorder(&log, name);
        collector.Collect();
        EXPECT_EQ(log, "CBA");
        new (collector.Alloc(sizeof(Recorder))) Recorder(&log, 'D');
        collector.Collect();
        EXPECT_EQ(log, "CBAD");
        new (collector.Alloc(sizeof(Recorder))) Recorder(&log, 'X');
    }
    EXPECT_EQ(log, "CBADX") << "the collector's end deletes what it still holds";
}

} // namespace
