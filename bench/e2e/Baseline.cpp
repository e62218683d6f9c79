#include "e2e/Baseline.h"

#include <zip.h>

#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

namespace kestrel::bench {

namespace fs = std::filesystem;

namespace {

std::size_t AppendToString(char* data, std::size_t size, std::size_t count, void* target) {
  static_cast<std::string*>(target)->append(data, size * count);
  return size * count;
}

std::size_t AppendToFile(char* data, std::size_t size, std::size_t count, void* target) {
  auto* file = static_cast<std::ofstream*>(target);
  file->write(data, static_cast<std::streamsize>(size * count));
  return *file ? size * count : 0;
}

// The path of an archive entry under the folder; refuses names that leave it.
fs::path EntryPath(const fs::path& folder, const std::string& name) {
  const fs::path relative = fs::path(name).lexically_normal();
  if (relative.is_absolute() || relative.empty() || *relative.begin() == "..") {
    throw std::runtime_error("archive entry outside the folder: " + name);
  }
  return folder / relative;
}

}  // namespace

Baseline::Baseline() : m_share(curl_share_init()), m_curl(curl_easy_init()) {
  if (!m_curl || !m_share) throw std::runtime_error("curl_easy_init failed");
  curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
  curl_easy_setopt(m_curl, CURLOPT_SHARE, m_share);
}

Baseline::~Baseline() {
  curl_easy_cleanup(m_curl);
  curl_share_cleanup(m_share);
}

void Baseline::Perform(const std::string& url) {
  curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
  const CURLcode code = curl_easy_perform(m_curl);
  if (code != CURLE_OK) throw std::runtime_error(url + ": " + curl_easy_strerror(code));
  long status = 0;
  curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &status);
  if (status != 200) throw std::runtime_error(url + ": HTTP " + std::to_string(status));
}

std::string Baseline::Post(const std::string& url, const std::string& body) {
  std::string answer;
  curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
  headers = curl_slist_append(headers, "Expect:");
  curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, AppendToString);
  curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &answer);
  try {
    Perform(url);
  } catch (...) {
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    throw;
  }
  curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, nullptr);
  curl_slist_free_all(headers);
  return answer;
}

void Baseline::Download(const std::string& url, const fs::path& file) {
  std::ofstream out(file, std::ios::binary);
  if (!out) throw std::runtime_error("cannot write " + file.string());
  curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, AppendToFile);
  curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &out);
  Perform(url);
}

void Baseline::Unzip(const fs::path& archive, const fs::path& folder) {
  int error = 0;
  std::unique_ptr<zip_t, int (*)(zip_t*)> zip(zip_open(archive.c_str(), ZIP_RDONLY, &error), zip_close);
  if (!zip)
    throw std::runtime_error("cannot open " + archive.string() + " (libzip error " + std::to_string(error) + ")");
  std::vector<char> buffer(1 << 16);
  const zip_int64_t entries = zip_get_num_entries(zip.get(), 0);
  for (zip_int64_t i = 0; i < entries; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    const std::string name = zip_get_name(zip.get(), index, 0);
    const fs::path target = EntryPath(folder, name);
    if (name.ends_with('/')) {
      fs::create_directories(target);
      continue;
    }
    fs::create_directories(target.parent_path());
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> entry(zip_fopen_index(zip.get(), index, 0), zip_fclose);
    if (!entry) throw std::runtime_error("cannot read " + name);
    std::ofstream out(target, std::ios::binary);
    zip_int64_t read = 0;
    while ((read = zip_fread(entry.get(), buffer.data(), buffer.size())) > 0) {
      out.write(buffer.data(), static_cast<std::streamsize>(read));
    }
    if (read < 0 || !out) throw std::runtime_error("cannot unpack " + name);
  }
}

void Baseline::LoadAd(const std::string& adsUrl, const std::string& adsBody, const fs::path& folder) {
  const auto answer = nlohmann::json::parse(Post(adsUrl, adsBody));
  const auto& markup = answer.at("ads").at(0).at("ad_markup");
  const fs::path archive = folder / "bundle.zip";
  Download(markup.at("templateURL").get<std::string>(), archive);
  for (const auto& [name, part] : markup.at("templateSettings").at("cacheable_replacements").items()) {
    Download(part.at("url").get<std::string>(), folder / (name + "." + part.at("extension").get<std::string>()));
  }
  Unzip(archive, folder);
  fs::remove(archive);
}

std::size_t Baseline::LoadAdInParallel(const std::string& adsUrl, const std::string& adsBody,
                                       const fs::path& folder) {
  const std::string text = Post(adsUrl, adsBody);
  std::size_t bytes = text.size();
  const auto answer = nlohmann::json::parse(text);
  const auto& markup = answer.at("ads").at(0).at("ad_markup");
  std::vector<std::pair<std::string, fs::path>> parts{{markup.at("templateURL").get<std::string>(), folder / "bundle.zip"}};
  for (const auto& [name, part] : markup.at("templateSettings").at("cacheable_replacements").items()) {
    parts.emplace_back(part.at("url").get<std::string>(), folder / (name + "." + part.at("extension").get<std::string>()));
  }
  using Easy = std::unique_ptr<CURL, void (*)(CURL*)>;
  std::unique_ptr<CURLM, CURLMcode (*)(CURLM*)> multi(curl_multi_init(), curl_multi_cleanup);
  std::vector<Easy> handles;
  std::vector<std::unique_ptr<std::ofstream>> files;
  for (const auto& [url, file] : parts) {
    files.push_back(std::make_unique<std::ofstream>(file, std::ios::binary));
    Easy easy(curl_easy_init(), curl_easy_cleanup);
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_SHARE, m_share);
    curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, AppendToFile);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, files.back().get());
    curl_multi_add_handle(multi.get(), easy.get());
    handles.push_back(std::move(easy));
  }
  int running = 1;
  while (running > 0) {
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) throw std::runtime_error("curl_multi_perform failed");
    if (running > 0) curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
  }
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
    if (message->msg == CURLMSG_DONE && message->data.result != CURLE_OK) {
      throw std::runtime_error(std::string("a part failed: ") + curl_easy_strerror(message->data.result));
    }
  }
  for (auto& easy : handles) {
    curl_off_t size = 0;
    curl_easy_getinfo(easy.get(), CURLINFO_SIZE_DOWNLOAD_T, &size);
    bytes += static_cast<std::size_t>(size);
    curl_multi_remove_handle(multi.get(), easy.get());
  }
  files.clear();
  Unzip(folder / "bundle.zip", folder);
  fs::remove(folder / "bundle.zip");
  return bytes;
}

}  // namespace kestrel::bench
