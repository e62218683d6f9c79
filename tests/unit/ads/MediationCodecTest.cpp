// Base64 and gzip of the bid token and of a bid's ad unit, checked against the
// local ad server's own encoder and decoder.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "Base64.h"
#include "Gzip.h"
#include "net/Base64.h"
#include "net/Gzip.h"

namespace kestrel {
namespace {

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

std::string ThrownText(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "(nothing thrown)";
}

TEST(MediationBase64Test, EncodesAndDecodesTheStandardAlphabet) {
  const std::pair<std::string, std::string> vectors[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"},
                                                         {"\xfb\xff\xbf", "+/+/"}};
  for (const auto& [plain, encoded] : vectors) {
    EXPECT_EQ(Base64Encode(plain), encoded);
    EXPECT_EQ(Base64Decode(encoded), plain);
  }
  EXPECT_EQ(Base64Decode("Zm8"), "fo");  // the fill may be left out
  for (std::size_t size : {1u, 2u, 3u, 1000u, 1001u, 1002u}) {
    const std::string bytes = MixedBytes(size);
    EXPECT_EQ(Base64Encode(bytes), adserver::Base64Encode(bytes)) << size;
    EXPECT_EQ(Base64Decode(adserver::Base64Encode(bytes)), bytes) << size;
  }
}

TEST(MediationBase64Test, RejectsTextOutsideTheAlphabet) {
  for (const char* text : {"Zm9v!", "Zm 9v", "Zm9v\n", "Zm9-", "Zm9_", "Zm=v", "Z===", "=Zm9", "Zm9vY", "Zm9\x80"}) {
    EXPECT_THROW(Base64Decode(text), std::runtime_error) << text;
  }
  EXPECT_EQ(ThrownText([] { Base64Decode("ab$d"); }), "Base64 text holds a character outside the alphabet at offset 2");
}

TEST(MediationGzipTest, WritesTheGzipStreamTheServerWrites) {
  const std::string text = R"({"device":{"make":"Kestrel"},"ext":{"ordinal_view":1}})";
  const std::string packed = GzipCompress(text);
  ASSERT_GE(packed.size(), 10u);
  EXPECT_EQ(packed.substr(0, 3), std::string("\x1f\x8b\x08", 3));  // gzip magic, deflate
  EXPECT_EQ(packed[8], '\0');  // extra flags: neither the fastest nor the best level
  EXPECT_EQ(packed, adserver::GzipCompress(text));
  EXPECT_EQ(adserver::GzipDecompress(packed), text);

  const std::string large = MixedBytes(300000) + std::string(300000, 'a');  // many 4 KiB chunks both ways
  EXPECT_EQ(GzipDecompress(GzipCompress(large)), large);
  EXPECT_EQ(GzipDecompress(adserver::GzipCompress("")), "");
}

TEST(MediationGzipTest, RefusesBrokenStreamsAndStopsAtTheLimit) {
  const std::string packed = GzipCompress(MixedBytes(20000));
  const std::string broken = "inflate failed during decompression";
  EXPECT_EQ(ThrownText([&] { GzipDecompress(packed.substr(0, packed.size() / 2)); }), broken);
  EXPECT_EQ(ThrownText([] { GzipDecompress(""); }), broken);
  EXPECT_EQ(ThrownText([] { GzipDecompress("plain text, not gzip"); }), broken);

  // 17 MiB of zeros packs into a few kilobytes.
  const std::string bomb = GzipCompress(std::string(17u * 1024 * 1024, '\0'));
  EXPECT_LT(bomb.size(), 64u * 1024);
  EXPECT_EQ(ThrownText([&] { GzipDecompress(bomb); }), "Decompressed data exceeds the limit of 16777216 bytes");
  // Exactly at the limit is still fine.
  EXPECT_EQ(GzipDecompress(GzipCompress(std::string(kMaxGunzipBytes, 'z'))).size(), kMaxGunzipBytes);
  EXPECT_EQ(ThrownText([] { GzipDecompress(GzipCompress("12345"), 4); }),
            "Decompressed data exceeds the limit of 4 bytes");
}

}  // namespace
}  // namespace kestrel
