#include "support/TestPrelude.h"

#include <regex>

#include "LocalAdServer.h"
#include "server/AdResponse.h"
#include "server/RequestController.h"
#include "server/TpatController.h"
#include "server/TpatsModel.h"
#include "platform/Backend.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "support/TrackingStamp.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;
using Parameters = std::unordered_map<std::string, std::string>;

TEST(TpatMacrosTest, ReplaceAllNeverRescansWhatItInserted) {
  EXPECT_EQ(TpatController::ReplaceAll("aXa", "a", "aa"), "aaXaa");
  EXPECT_EQ(TpatController::ReplaceAll("x%t%y%t%", "%t%", "%t%%t%"), "x%t%%t%y%t%%t%");
  EXPECT_EQ(TpatController::ReplaceAll("abc", "", "z"), "abc");
  EXPECT_EQ(TpatController::ReplaceAll("aaaa", "aa", ""), "");
}

TEST(TpatMacrosTest, ReplaceMacrosFillsEveryMacroInTableOrder) {
  TpatController tpat;
  EXPECT_EQ(tpat.ReplaceMacros("c={{{carrier}}}&dl={{{time_dl}}}&v={{{vol}}}&rp={{{remote_play}}}&s={{{is_success}}}"
                               "&sid={{{session_id}}}&l={{{vlen}}}&l2={{{vlen}}}&u={{{unknown}}}"),
            "c=&dl=1&v=&rp=false&s=false&sid=&l=4000&l2=4000&u={{{unknown}}}");
  // The carrier is replaced before the volume, so removing the volume cannot make a new carrier macro.
  EXPECT_EQ(tpat.ReplaceMacros("{{{{{{vol}}}carrier}}}"), "{{{carrier}}}");

  // Every %timestamp% gets the same local time.
  const std::string url = tpat.ReplaceMacros("t=%timestamp%&u=%timestamp%");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(url, match, std::regex(R"(t=(\d{14})&u=(\d{14}))"))) << url;
  EXPECT_EQ(match[1], match[2]);
}

// The tracking controller with the real request controller, against the local ad server.
class TpatControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    R::Clear();
    R::SetFolderName("TovaneSDK");
    server.Start();
    R::SetRequestController(std::make_shared<RequestController>());
    R::SetTpatController(tpat);
  }
  void TearDown() override {
    server.Stop();
    R::Clear();
  }

  std::shared_ptr<TpatsModel> Model(const std::unordered_map<std::string, std::vector<std::string>>& tpats) {
    auto ad = std::make_shared<AdResponse>();
    ad->m_tpats = tpats;
    return std::make_shared<TpatsModel>(ad);
  }
  std::string Url(const std::string& path) const { return server.BaseUrl() + path; }

  test::ScopedDataHome dataHome;
  adserver::LocalAdServer server;
  std::shared_ptr<TpatController> tpat = std::make_shared<TpatController>();
};

// Two plays, each with hits to a host that stalls and to one that answers at once.
TEST_F(TpatControllerTest, HitsWaitOnlyForTheHitsBeforeThemOfTheirPlayAndHost) {
  adserver::LocalAdServer slow;
  slow.Start();
  slow.SetFault("tpat=delay,delay_ms=3000,count=2");
  const std::int64_t before = test::EpochMs();
  for (const std::string play : {"a", "b"}) {
    const auto path = [&](const std::string& base, int n) {
      return base + "/tpat/" + play + std::to_string(n) + "?t=%timestamp%&l={{{vlen}}}";
    };
    auto model = Model({{"impression", {path(slow.BaseUrl(), 1), Url(path("", 1)), Url(path("", 2)),
                                        path(slow.BaseUrl(), 2)}}});
    tpat->SendTpat(model, {{"event", "impression"}, {"extra", "1"}});
  }  // the models are released, as the display code does when a play ends, with hits still waiting
  const std::int64_t after = test::EpochMs();

  // The fast host has every hit, and the slow one the first of each play, while those are still stalled.
  ASSERT_TRUE(server.WaitForRequests("/tpat/", 4) && slow.WaitForRequests("/tpat/", 2));
  const auto stalled = slow.Requests("/tpat/");
  EXPECT_TRUE(stalled.size() == 2 && std::all_of(stalled.begin(), stalled.end(), [](auto& r) { return !r.status; }));
  ASSERT_TRUE(slow.WaitForRequests("/tpat/", 4, std::chrono::seconds(30)));
  for (const auto* host : {&server, &slow}) {
    for (const std::string play : {"a", "b"}) {
      const auto hits = host->Requests("/tpat/" + play);
      ASSERT_EQ(hits.size(), 2u) << host->BaseUrl() << " " << play;
      EXPECT_EQ(hits[0].path, "/tpat/" + play + "1");
      EXPECT_EQ(hits[1].path, "/tpat/" + play + "2");
      for (const auto& hit : hits) {
        EXPECT_EQ(hit.Param("l"), "4000");
        // The time of the event, not of the sending: the second hits to the slow host left seconds later.
        const std::int64_t at = test::StampMs(hit.Param("t"));
        EXPECT_TRUE(at >= before - 100 && at <= after + 100) << hit.target << " event at " << before;
      }
    }
  }
}

TEST_F(TpatControllerTest, UnknownOrMissingEventsSendNothing) {
  const auto model = Model({{"impression", {Url("/tpat/impression")}}});
  {
    LogCapture log;
    tpat->SendTpat(model, {{"event", "click"}});
    EXPECT_TRUE(log.Messages().empty());
  }
  LogCapture log;
  tpat->SendTpat(model, {{"evnt", "impression"}});
  EXPECT_TRUE(log.Has("invalid unordered_map<K, T> key", LogLevel::Error));
  tpat->SendTpat(nullptr, {{"event", "impression"}});
  EXPECT_TRUE(log.Has("SendTpat called without a tracking model", LogLevel::Error));
  tpat->SendTpat(model, {{"event", "impression"}});  // in the chain after anything the calls before sent
  ASSERT_TRUE(server.WaitForRequests("/tpat/", 1));
  EXPECT_EQ(server.Requests("/tpat/").size(), 1u);
}

}  // namespace
}  // namespace kestrel
