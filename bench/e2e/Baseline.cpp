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

Baseline::Baseline() : m_curl(curl_easy_init()) {
  if (!m_curl) throw std::runtime_error("curl_easy_init failed");
}

Baseline::~Baseline() {
  curl_easy_cleanup(m_curl);
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

}  // namespace kestrel::bench
