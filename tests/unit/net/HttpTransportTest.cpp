#include <gmock/gmock.h>
#include "support/TestPrelude.h"

#include <nlohmann/json.hpp>

#include "NetTest.h"
#include "net/AssetRequest.h"
#include "net/AssetResponse.h"
#include "net/HttpTransport.h"
#include "net/RequestHeaders.h"
#include "net/ServerRequests.h"
#include "net/TpatRequest.h"
#include "support/HttpErrors.h"

namespace kestrel::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class HttpTransportTest : public NetTest {
 protected:
  std::shared_ptr<ResponseBase> Execute(const std::shared_ptr<RequestBase>& request) {
    return ExecuteRequest(*m_controller, request);
  }

  std::shared_ptr<RequestBase> Get(const std::string& url) {
    auto request = std::make_shared<TpatRequest>();
    ApplyStandardHeaders(*request);
    request->m_url = url;
    return request;
  }

  std::shared_ptr<RequestBase> Post(const std::string& url, RequestType type, Json body) {
    auto request = std::make_shared<ServerRequests>();
    ApplyStandardHeaders(*request);
    request->m_url = url;
    request->m_requestType = type;
    request->m_body = std::move(body);
    return request;
  }

  std::shared_ptr<AssetRequest> Download(const std::string& path, const std::string& folder) {
    auto request = std::make_shared<AssetRequest>();
    ApplyStandardHeaders(*request);
    request->m_url = Url(path);
    request->m_fileName = path.substr(path.find_last_of('/') + 1);
    request->m_folderName = folder;
    request->m_saveToFile = true;
    request->m_name = "TovaneSDK_e1_ad_part";
    return request;
  }

};

TEST_F(HttpTransportTest, QueryIsAppendedInKeyOrderWithoutEscaping) {
  auto request = Get(Url("/tpat/query?first=1"));
  request->m_queryParameters = {{"b", "x y"}, {"a", "p/q:r@s%41"}};
  EXPECT_EQ(BuildRequestUrl(*request), Url("/tpat/query?first=1&a=p/q:r@s%41&b=x y"));
  request->m_url = Url("/tpat/query");
  EXPECT_EQ(BuildRequestUrl(*request), Url("/tpat/query?a=p/q:r@s%41&b=x y"));

  auto response = Execute(request);
  ASSERT_EQ(response->m_status, ResponseBase::kCompleted) << response->m_text;
  const auto recorded = m_server.Requests("/tpat/query");
  ASSERT_EQ(recorded.size(), 1u);
  // Reserved characters and an escape the SDK put there arrive as they were;
  // only the blank, which cannot stand in a request line, is encoded on the wire.
  EXPECT_EQ(recorded[0].query, "a=p/q:r@s%41&b=x%20y");
  EXPECT_EQ(recorded[0].Param("b"), "x y");
  EXPECT_EQ(recorded[0].method, "GET");
  EXPECT_EQ(recorded[0].body, "");
}

TEST_F(HttpTransportTest, FormBodyIsPercentEncodedInKeyOrder) {
  EXPECT_EQ(PercentEncode("a b\n\xC3\xA9-._~/+%"), "a%20b%0A%C3%A9-._~%2F%2B%25");
  auto response = Execute(Post(Url("/config"), RequestBase::kFormPost, {{"z", "a b"}, {"k", "\xC3\xA9/&="}}));
  ASSERT_EQ(response->m_status, ResponseBase::kCompleted) << response->m_text;
  const auto recorded = m_server.Requests("/config");
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].method, "POST");
  EXPECT_EQ(recorded[0].body, "k=%C3%A9%2F%26%3D&z=a%20b");
  EXPECT_EQ(recorded[0].Header("Content-Type"), "application/x-www-form-urlencoded");
}

TEST_F(HttpTransportTest, EmptyJsonBodyIsAPostWithoutBody) {
  auto response = Execute(Post(Url("/config"), RequestBase::kJsonPost, Json::object()));
  ASSERT_EQ(response->m_status, ResponseBase::kCompleted) << response->m_text;
  EXPECT_EQ(response->m_httpStatusCode, 200);
  EXPECT_FALSE(Json::parse(response->m_text)["placements"].empty());
  const auto recorded = m_server.Requests("/config");
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].method, "POST");
  EXPECT_EQ(recorded[0].body, "");
  EXPECT_EQ(recorded[0].Header("Content-Type"), "application/json");
  EXPECT_EQ(recorded[0].Header("Content-Length"), "0");
  ASSERT_EQ(m_responses.Size(), 1u);
  EXPECT_EQ(m_responses.All()[0], response);
}

TEST_F(HttpTransportTest, FormBodyWithANumberFailsBeforeSending) {
  LogCapture log;
  const std::string url = Url("/config");
  auto response = Execute(Post(url, RequestBase::kFormPost, {{"a", "x"}, {"n", 5}}));
  EXPECT_EQ(response->m_status, ResponseBase::kFailed);
  EXPECT_EQ(response->m_text, "type must be string, but is number");
  EXPECT_TRUE(log.Has("Url: " + url + ". Error: type must be string, but is number", LogLevel::Error));
  EXPECT_TRUE(log.Has("type must be string, but is number", LogLevel::Error));
  ASSERT_EQ(m_responses.Size(), 1u);
  EXPECT_EQ(m_responses.All()[0]->m_status, ResponseBase::kFailed);
  EXPECT_TRUE(m_server.Requests().empty());
}

TEST_F(HttpTransportTest, UnreachableHostAndRefusedUrlsFail) {
  LogCapture log;
  auto refused = Execute(Get("http://127.0.0.1:1/nothing"));
  const std::string message = "HttpSendRequestW failed. Error: " + std::to_string(CannotConnectError());
  EXPECT_EQ(refused->m_status, ResponseBase::kFailed);
  EXPECT_EQ(refused->m_text, message);
  EXPECT_EQ(refused->m_httpStatusCode, 0);
  EXPECT_TRUE(log.Has("Url: http://127.0.0.1:1/nothing. Error: " + message, LogLevel::Error));

  // Only http and https: a local file must never be read through the transport.
  auto file = Execute(Get("file:///etc/passwd"));
  EXPECT_EQ(file->m_status, ResponseBase::kFailed);
  EXPECT_EQ(file->m_text, "InternetCrackUrlW failed for: file:///etc/passwd");

  auto empty = Execute(Get(""));  // no endpoint known
  EXPECT_EQ(empty->m_status, ResponseBase::kFailed);
  EXPECT_EQ(empty->m_text, "InternetCrackUrlW failed for: ");
  EXPECT_EQ(m_responses.Size(), 3u);
}

TEST_F(HttpTransportTest, ErrorStatusStillCompletes) {
  auto response = Execute(Get(Url("/no/such/route")));
  EXPECT_EQ(response->m_status, ResponseBase::kCompleted);
  EXPECT_EQ(response->m_httpStatusCode, 404);
  EXPECT_THAT(response->m_text, HasSubstr("no such endpoint"));
}

TEST_F(HttpTransportTest, OtherDownloadsAreOnlyWritten) {
  ::testing::internal::CaptureStdout();
  auto image = Execute(Download("/assets/icon.png", "rewarded_2"));
  auto shortName = Execute(Download("/assets/a", "rewarded_2"));  // 404 page, saved as it came
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(image->m_status, ResponseBase::kCompleted);
  EXPECT_EQ(shortName->m_status, ResponseBase::kCompleted);
  EXPECT_EQ(shortName->m_httpStatusCode, 404);
  EXPECT_EQ(FilesIn(Creatives() / "rewarded_2"), (std::vector<std::string>{"a", "icon.png"}));
  EXPECT_EQ(std::filesystem::file_size(Creatives() / "rewarded_2" / "icon.png"),
            Execute(Get(Url("/assets/icon.png")))->m_text.size());
  EXPECT_THAT(out, ::testing::Not(HasSubstr("Extracted: ")));
}

TEST_F(HttpTransportTest, DownloadNamesThatLeaveTheFolderAreNotWritten) {
  auto request = Download("/assets/icon.png", "..");
  ::testing::internal::CaptureStderr();
  auto response = Execute(request);
  EXPECT_THAT(::testing::internal::GetCapturedStderr(),
              HasSubstr("Can't write response to file because we couldn't create the file!."));
  EXPECT_EQ(response->m_status, ResponseBase::kCompleted);
  EXPECT_EQ(FilesIn(Creatives()), std::vector<std::string>{});
  EXPECT_FALSE(std::filesystem::exists(Creatives().parent_path() / "icon.png"));
}

}  // namespace
}  // namespace kestrel::test
