// Base64 and gzip of the bid token and of a bid's ad unit: one table of
// vectors, each run through the SDK's codec and the local ad server's, and
// across them (what one side writes, the other reads).
#include "support/TestPrelude.h"

#include "AdDocument.h"
#include "Base64.h"
#include "BidMarkup.h"
#include "Gzip.h"
#include "net/Base64.h"
#include "net/Gzip.h"

namespace kestrel {
namespace {

struct Codec {
  const char* name;
  std::function<std::string(std::string_view)> encode, decode, gzip, gunzip;
};
const Codec kCodecs[] = {
    {"sdk", Base64Encode, Base64Decode, GzipCompress, [](std::string_view data) { return GzipDecompress(data); }},
    {"server", adserver::Base64Encode, adserver::Base64Decode, adserver::GzipCompress, adserver::GzipDecompress},
};

// Bytes that compress poorly and cover every byte value.
std::string MixedBytes(std::size_t size) {
  std::string bytes(size, '\0');
  std::uint32_t state = 12345;
  for (char& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<char>(state >> 16);
  }
  return bytes;
}

// The result, or nullopt when the call threw.
std::optional<std::string> Try(const std::function<std::string(std::string_view)>& fn, std::string_view in) {
  try {
    return fn(in);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

TEST(MediationCodecTest, Base64VectorsEitherWay) {
  for (const auto& [plain, encoded] : {std::pair<std::string, std::string>{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="},
                                       {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
                                       {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf", "+/+/"}}) {
    for (const Codec& codec : kCodecs) {
      EXPECT_EQ(codec.encode(plain), encoded) << codec.name;
      EXPECT_EQ(codec.decode(encoded), plain) << codec.name;
    }
  }
  for (const std::size_t size : {1u, 2u, 3u, 1000u, 1001u, 1002u}) {
    const std::string bytes = MixedBytes(size);
    for (const Codec& writer : kCodecs) {
      for (const Codec& reader : kCodecs) EXPECT_EQ(reader.decode(writer.encode(bytes)), bytes) << size;
    }
  }
}

TEST(MediationCodecTest, Base64RefusesWhatNoEncoderWrites) {
  // The SDK also reads unpadded text; the server only padded.
  for (const auto& [text, plain] : {std::pair<std::string, std::string>{"Zm8", "fo"}, {"Zm9vYg", "foob"}}) {
    EXPECT_EQ(Try(kCodecs[0].decode, text), plain) << text;
    EXPECT_EQ(Try(kCodecs[1].decode, text), std::nullopt) << text;
  }
  for (const std::string text : {"Zm9v!", "Zm 9v", "Zm9v\n", "Zm9-", "Zm9_", "Zm=v", "Z===", "=Zm9", "Zm9vY", "Zm9\x80",
                                 "Zg==Zg==", "Zm9v!A=="}) {
    for (const Codec& codec : kCodecs) EXPECT_EQ(Try(codec.decode, text), std::nullopt) << codec.name << ": " << text;
  }
}

TEST(MediationCodecTest, GzipEitherWay) {
  const std::string text = R"({"device":{"make":"Kestrel"},"ext":{"ordinal_view":1}})";
  const std::string packed = kCodecs[0].gzip(text);
  ASSERT_GE(packed.size(), 18u);
  EXPECT_EQ(packed.substr(0, 3), std::string("\x1f\x8b\x08", 3));  // gzip magic, deflate
  EXPECT_EQ(packed, kCodecs[1].gzip(text)) << "the same stream as the server's";
  for (const std::string& data : {std::string(), text, std::string(100000, 'a'),
                                  MixedBytes(300000) + std::string(300000, 'a')}) {
    for (const Codec& writer : kCodecs) {
      for (const Codec& reader : kCodecs) {
        EXPECT_EQ(reader.gunzip(writer.gzip(data)), data) << writer.name << " to " << reader.name;
      }
    }
  }
  EXPECT_LT(kCodecs[0].gzip(std::string(100000, 'a')).size(), 1000u);
}

TEST(MediationCodecTest, GunzipRefusesDamage) {
  // printf 'kestrel\n' | gzip -n
  const std::string tool("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xcb\x4e\x2d\x2e\x29\x4a\xcd\xe1\x02\x00\xcf"
                         "\x95\x7e\x16\x08\x00\x00\x00",
                         28);
  std::string flipped = tool;
  flipped[12] = static_cast<char>(flipped[12] ^ 0x55);
  const std::string mixed = kCodecs[0].gzip(MixedBytes(20000));
  for (const Codec& codec : kCodecs) {
    EXPECT_EQ(Try(codec.gunzip, tool), "kestrel\n") << codec.name;
    for (const std::string& bad : {tool.substr(0, 14), flipped, mixed.substr(0, mixed.size() / 2), std::string(),
                                   std::string("plain text, not gzip")}) {
      EXPECT_EQ(Try(codec.gunzip, bad), std::nullopt) << codec.name << ": " << bad.size() << " bytes";
    }
  }
}

TEST(MediationCodecTest, SdkGunzipStopsAtTheLimit) {
  // 17 MiB of zeros packs into a few kilobytes.
  const std::string bomb = GzipCompress(std::string(17u * 1024 * 1024, '\0'));
  EXPECT_LT(bomb.size(), 64u * 1024);
  EXPECT_THROW(GzipDecompress(bomb), std::runtime_error);
  EXPECT_EQ(GzipDecompress(GzipCompress(std::string(kMaxGunzipBytes, 'z'))).size(), kMaxGunzipBytes);
  EXPECT_THROW(GzipDecompress(GzipCompress("12345"), 4), std::runtime_error);
  EXPECT_EQ(GzipDecompress(GzipCompress("1234"), 4), "1234");
}

TEST(MediationCodecTest, ServersAdUnitIsReadByTheSdk) {
  const adserver::AdDocument ads("http://127.0.0.1:1", 0, 3);
  const auto document = ads.Ad("hb_banner", "hb_banner-1", 1700000000);
  const auto markup = adserver::BidMarkup::Build(document, {"http://127.0.0.1:1/hb/impression?ev=1"});
  EXPECT_EQ(markup["version"], 2);
  EXPECT_EQ(GzipDecompress(Base64Decode(markup["adunit"].get<std::string>())), document.dump());
  EXPECT_EQ(adserver::BidMarkup::DecodeAdUnit(markup["adunit"].get<std::string>()), document.dump());
}

}  // namespace
}  // namespace kestrel
