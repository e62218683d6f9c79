// Base64 and gzip as the header-bidding markup uses them.

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "AdDocument.h"
#include "Base64.h"
#include "BidMarkup.h"
#include "Gzip.h"

namespace kestrel::adserver {
namespace {

TEST(Base64Test, MatchesTheStandardVectorsBothWays) {
  const std::vector<std::pair<std::string, std::string>> vectors{
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf", "+/+/"}};
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(Base64Encode(plain), encoded) << plain;
    EXPECT_EQ(Base64Decode(encoded), plain) << encoded;
  }
  std::string every;
  for (int i = 0; i < 256; ++i) {
    every += static_cast<char>(i);
  }
  EXPECT_EQ(Base64Decode(Base64Encode(every)), every);
}

TEST(Base64Test, RefusesMalformedText) {
  for (const auto* bad : {"Zm9", "Zm=v", "Zm9v!A==", "=Zm9", "Zg==Zg=="}) {
    EXPECT_THROW(Base64Decode(bad), std::invalid_argument) << bad;
  }
}

TEST(GzipTest, RoundTripsAndWritesGzipFraming) {
  std::string random(1 << 20, '\0');
  std::mt19937 gen(7);
  for (auto& c : random) {
    c = static_cast<char>(gen());
  }
  for (const std::string& data : {std::string(), std::string("kestrel"), std::string(100000, 'a'), random}) {
    const auto packed = GzipCompress(data);
    ASSERT_GE(packed.size(), 18u);
    EXPECT_EQ(packed.substr(0, 3), std::string("\x1f\x8b\x08", 3)) << "gzip magic and deflate method";
    EXPECT_EQ(GzipDecompress(packed), data);
  }
  EXPECT_LT(GzipCompress(std::string(100000, 'a')).size(), 1000u);
}

TEST(GzipTest, ReadsWhatTheGzipToolWritesAndRefusesDamage) {
  // printf 'kestrel\n' | gzip -n
  const std::string fromTool("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xcb\x4e\x2d\x2e\x29\x4a\xcd\xe1\x02\x00\xcf"
                             "\x95\x7e\x16\x08\x00\x00\x00",
                             28);
  EXPECT_EQ(GzipDecompress(fromTool), "kestrel\n");
  EXPECT_THROW(GzipDecompress(fromTool.substr(0, 14)), std::runtime_error);
  EXPECT_THROW(GzipDecompress("plain text, not gzip"), std::runtime_error);
  auto flipped = fromTool;
  flipped[12] = static_cast<char>(flipped[12] ^ 0x55);
  EXPECT_THROW(GzipDecompress(flipped), std::runtime_error);
}

TEST(BidMarkupTest, AdUnitIsTheAdsDocumentGzippedThenBase64Encoded) {
  const AdDocument ads("http://127.0.0.1:1", 0, 3);
  const auto document = ads.Ad("hb_banner", "hb_banner-1", 1700000000);
  const auto markup = BidMarkup::Build(document, {"http://127.0.0.1:1/hb/impression?ev=1"});
  EXPECT_EQ(markup["version"], 2);
  EXPECT_EQ(markup["impression"], nlohmann::json::array({"http://127.0.0.1:1/hb/impression?ev=1"}));
  const auto adunit = markup["adunit"].get<std::string>();
  EXPECT_EQ(BidMarkup::DecodeAdUnit(adunit), document.dump());
  EXPECT_EQ(GzipDecompress(Base64Decode(adunit)), document.dump());
  EXPECT_EQ(BidMarkup::Build(document, {}, 1)["version"], 1);
}

}  // namespace
}  // namespace kestrel::adserver
