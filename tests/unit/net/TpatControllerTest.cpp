#include "support/TestPrelude.h"

#include <ctime>
#include <regex>

#include "LocalAdServer.h"
#include "server/AdResponse.h"
#include "server/RequestController.h"
#include "server/TpatController.h"
#include "server/TpatsModel.h"
#include "platform/Backend.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"

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

TEST_F(TpatControllerTest, FiresTheEventsUrlsInOrderWithTheMacrosReplaced) {
  const auto model = Model({{"impression", {Url("/tpat/impression?t=%timestamp%&l={{{vlen}}}"), Url("/tpat/second")}},
                            {"click", {Url("/tpat/click")}}});
  tpat->SendTpat(model, {{"event", "impression"}, {"extra", "1"}});
  // SendTpat waits for each request, so both have arrived, in list order.
  const auto hits = server.Requests("/tpat/");
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].path, "/tpat/impression");
  EXPECT_EQ(hits[1].path, "/tpat/second");
  EXPECT_TRUE(std::regex_match(hits[0].query, std::regex(R"(t=\d{15,17}&l=4000)"))) << hits[0].query;
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
  EXPECT_TRUE(server.Requests("/tpat/").empty());
}

}  // namespace
}  // namespace kestrel
