// Fault plans as the --fault flag and the control route give them. What each
// mode does on the wire is asserted through the SDK (tests/faults).
#include <gtest/gtest.h>

#include "Fault.h"
#include "FaultPlan.h"

namespace kestrel::adserver {
namespace {

TEST(FaultTest, ParsesRouteModeArgumentAndSettings) {
  using enum FaultRoute;
  using enum FaultMode;
  const struct {
    const char* text;
    Fault expected;
  } rows[] = {
      {"ads=status:503,count=2", {.route = Ads, .mode = Status, .status = 503, .body = {}, .count = 2}},
      {"bundle=slow:50,chunk=512,delay_ms=10",
       {.route = Bundle, .mode = Slow, .delayMs = 10, .intervalMs = 50, .chunkBytes = 512, .body = {}}},
      {"bundle=large:3000", {.route = Bundle, .mode = Large, .bytes = 3000, .body = {}}},
      {"hb=sleep:45,info=maintenance",
       {.route = Hb, .mode = Sleep, .sleepSeconds = 45, .info = "maintenance", .body = {}}},
      {"ads=body:{\"a\":1,\"b\":[2,3]}", {.route = Ads, .mode = Body, .body = "{\"a\":1,\"b\":[2,3]}"}},  // commas
      {"impression=none", {.route = Impression, .mode = None, .body = {}}},
  };
  for (const auto& [text, expected] : rows) {
    const Fault fault = Fault::Parse(text);
    EXPECT_EQ(fault.ToJson(), expected.ToJson()) << text;
    EXPECT_EQ(Fault::FromJson(fault.ToJson()).ToJson(), fault.ToJson()) << "through the control route's JSON: " << text;
  }
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
