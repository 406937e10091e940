#include <gtest/gtest.h>

#include <string>

#include "framework/collector.h"

namespace {

class Recorder : public CObject {
public:
    Recorder(std::string* log, char name) : log(log), name(name) {}
    ~Recorder() override { log->push_back(name); }

private:
    std::string* log;
    char name;
};

TEST(CollectorTest, DeletesNewestFirstAndCanBeUsedAgain)
{
    CGarbageCollector collector;
    std::string log;
    collector.Collect();
    EXPECT_EQ(log, "");
    for (char name : {'A', 'B', 'C'})
        new (collector.Alloc(sizeof(Recorder))) Recorder(&log, name);
    EXPECT_EQ(log, "") << "nothing is freed before Collect";
    collector.Collect();
    EXPECT_EQ(log, "CBA");
    new (collector.Alloc(sizeof(Recorder))) Recorder(&log, 'D');
    collector.Collect();
    EXPECT_EQ(log, "CBAD");
}

TEST(CollectorTest, DestructorEmptiesTheList)
{
    std::string log;
    {
        CGarbageCollector collector;
        new (collector.Alloc(sizeof(Recorder))) Recorder(&log, 'X');
    }
    EXPECT_EQ(log, "X");
}

} // namespace
