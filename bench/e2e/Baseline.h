#pragma once

#include <curl/curl.h>

#include <filesystem>
#include <string>

namespace kestrel::bench {

// What an application would do without the SDK: plain libcurl exchanges over
// kept-alive connections, and libzip to unpack. Failures throw std::runtime_error.
class Baseline {
 public:
  Baseline();
  ~Baseline();
  Baseline(const Baseline&) = delete;
  Baseline& operator=(const Baseline&) = delete;

  // POSTs a JSON body and returns the answer's body.
  std::string Post(const std::string& url, const std::string& body);
  // GETs the URL into the file.
  void Download(const std::string& url, const std::filesystem::path& file);
  // Unpacks every entry of the archive under the folder.
  static void Unzip(const std::filesystem::path& archive, const std::filesystem::path& folder);

  // POSTs the /ads body, downloads the answer's bundle and images into the
  // folder and unpacks the bundle there.
  void LoadAd(const std::string& adsUrl, const std::string& adsBody, const std::filesystem::path& folder);
  // The same with every part downloaded at once; returns the bytes of the
  // /ads answer and the parts.
  std::size_t LoadAdInParallel(const std::string& adsUrl, const std::string& adsBody, const std::filesystem::path& folder);

 private:
  void Perform(const std::string& url);

  CURLSH* m_share = nullptr;  // one connection cache for every exchange
  CURL* m_curl = nullptr;
};

}  // namespace kestrel::bench
