// Fault plans as the --fault flag and the control route give them. What each
// mode does on the wire is asserted through the SDK (tests/faults).
#include <gtest/gtest.h>

#include "Fault.h"
#include "FaultPlan.h"

namespace kestrel::adserver {
namespace {

TEST(FaultTest, ParsesRouteModeArgumentAndSettings) {
  struct Row {
    const char* text;
    FaultMode mode;
    int status = 0, count = 0, delayMs = 0, intervalMs = 0;
    std::size_t bytes = 0, chunk = 0;
    std::string body;
  };
  const Row rows[] = {
      {"ads=status:503,count=2", FaultMode::Status, 503, 2},
      {"bundle=slow:50,chunk=512,delay_ms=10", FaultMode::Slow, 0, 0, 10, 50, 0, 512},
      {"config=delay:1500", FaultMode::Delay, 0, 0, 1500},
      {"tpat=close:10", FaultMode::Close, 0, 0, 0, 0, 10},
      {"bundle=large", FaultMode::Large, 0, 0, 0, 0, 20'000'000},
      {"bundle=large:3000", FaultMode::Large, 0, 0, 0, 0, 3000},
      {"ads=body:{\"a\":1,\"b\":[2,3]}", FaultMode::Body, 0, 0, 0, 0, 0, 0, "{\"a\":1,\"b\":[2,3]}"},
      {"impression=none", FaultMode::None},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Fault fault = Fault::Parse(row.text);
    EXPECT_EQ(fault.mode, row.mode);
    if (row.status) EXPECT_EQ(fault.status, row.status);
    EXPECT_EQ(fault.count, row.count);
    if (row.delayMs) EXPECT_EQ(fault.delayMs, row.delayMs);
    if (row.intervalMs) EXPECT_EQ(fault.intervalMs, row.intervalMs);
    if (row.bytes) EXPECT_EQ(fault.bytes, row.bytes);
    if (row.chunk) EXPECT_EQ(fault.chunkBytes, row.chunk);
    EXPECT_EQ(fault.body, row.body) << "a body keeps its commas";
    EXPECT_EQ(Fault::FromJson(fault.ToJson()).ToJson(), fault.ToJson()) << "through the control route's JSON";
  }
  const Fault sleep = Fault::Parse("hb=sleep:45,info=maintenance");
  EXPECT_EQ(sleep.sleepSeconds, 45);
  EXPECT_EQ(sleep.info, "maintenance");
}

TEST(FaultTest, RefusesWhatItCannotRead) {
  for (const auto* text : {"ads", "ads=", "nowhere=status", "ads=explode", "ads=corrupt", "config=sleep",
                           "tpat=wrongtypes", "ads=status:abc", "ads=status:99", "ads=status:-1", "ads=notjson:3",
                           "ads=delay:10,bogus=1", "ads=delay:10,count", "ads=slow:10,chunk=0"}) {
    EXPECT_THROW(Fault::Parse(text), std::invalid_argument) << text;
  }
  for (const auto* json : {"[]", R"({"route":"ads"})", R"({"route":"ads","mode":"status","status":"500"})",
                           R"({"route":"ads","mode":"body","body":5})"}) {
    EXPECT_THROW(Fault::FromJson(nlohmann::json::parse(json)), std::invalid_argument) << json;
  }
}

TEST(FaultTest, PlanSpendsTheCountPerAnswerAndKeepsOneFaultPerRoute) {
  FaultPlan plan;
  plan.Set(Fault::Parse("ads=status:500,count=2"));
  plan.Set(Fault::Parse("tpat=notjson"));
  EXPECT_TRUE(plan.Take(FaultRoute::Ads));
  EXPECT_TRUE(plan.Take(FaultRoute::Ads));
  EXPECT_FALSE(plan.Take(FaultRoute::Ads));
  EXPECT_FALSE(plan.Take(FaultRoute::Config));
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(plan.Take(FaultRoute::Tpat)) << "no count: until cleared";
  plan.Set(Fault::Parse("tpat=none"));
  EXPECT_FALSE(plan.Take(FaultRoute::Tpat));
  plan.Set(Fault::Parse("bundle=corrupt"));
  plan.Set(Fault::Parse("bundle=zipslip"));
  EXPECT_EQ(plan.ToJson().size(), 1u);
  EXPECT_EQ(plan.Take(FaultRoute::Bundle)->mode, FaultMode::ZipSlip);
  plan.Clear();
  EXPECT_TRUE(plan.ToJson().empty());
}

}  // namespace
}  // namespace kestrel::adserver
