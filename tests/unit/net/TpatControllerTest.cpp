#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <regex>
#include <string>
#include <unordered_map>
#include <vector>

#include "LocalAdServer.h"
#include "server/AdResponse.h"
#include "server/RequestController.h"
#include "server/TpatController.h"
#include "server/TpatsModel.h"
#include "platform/LocalTime.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace kestrel {
namespace {

using R = ControllerRegistry;
using test::LogCapture;
using Parameters = std::unordered_map<std::string, std::string>;

// The same clock as the controller's: std::time can read a coarser clock that
// lags it by a few milliseconds across a second's boundary.
std::string LocalStamp() {
  const std::tm local = ToLocalTime(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
  char text[16] = {};
  std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
  return text;
}

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

  const std::string before = LocalStamp();
  const std::string url = tpat.ReplaceMacros("t=%timestamp%&u=%timestamp%");
  const std::string after = LocalStamp();
  std::smatch match;
  ASSERT_TRUE(std::regex_match(url, match, std::regex(R"(t=(\d{14})&u=(\d{14}))"))) << url;
  EXPECT_EQ(match[1], match[2]);
  EXPECT_GE(match[1].str(), before);
  EXPECT_LE(match[1].str(), after);
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

TEST_F(TpatControllerTest, FiresTheEventsUrlsInOrderWithEveryMacroReplaced) {
  const auto model = Model({
      {"impression",
       {Url("/tpat/impression?t1=%timestamp%&t2=%timestamp%&c={{{carrier}}}&dl={{{time_dl}}}&v={{{vol}}}"
            "&rp={{{remote_play}}}&s={{{is_success}}}&sid={{{session_id}}}&l={{{vlen}}}&l2={{{vlen}}}"),
        Url("/tpat/second")}},
      {"click", {Url("/tpat/click")}},
  });
  const std::string before = LocalStamp();
  tpat->SendTpat(model, {{"event", "impression"}, {"extra", "1"}});
  const std::string after = LocalStamp();

  // SendTpat waits for each request, so both have arrived, in list order.
  const auto hits = server.Requests("/tpat/");
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].path, "/tpat/impression");
  EXPECT_EQ(hits[1].path, "/tpat/second");
  EXPECT_EQ(hits[0].method, "GET");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(
      hits[0].query, match,
      std::regex(R"(t1=(\d{14})(\d{1,3})&t2=(\d{14})&c=&dl=1&v=&rp=false&s=false&sid=&l=4000&l2=4000)")))
      << hits[0].query;
  EXPECT_GE(match[1].str(), before);
  EXPECT_LE(match[3].str(), after);
  EXPECT_LE(match[1].str(), match[3].str());
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

TEST_F(TpatControllerTest, WithoutARequestControllerEachUrlIsLogged) {
  R::SetRequestController(nullptr);
  LogCapture log;
  tpat->SendTpat(Model({{"impression", {Url("/tpat/a"), Url("/tpat/b")}}}), {{"event", "impression"}});
  EXPECT_EQ(log.Count("Can't send TPAT because we don't have a RequestController!", LogLevel::Error), 2);
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace kestrel
