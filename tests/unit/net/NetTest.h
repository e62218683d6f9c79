#pragma once

#include "support/TestPrelude.h"

#include "LocalAdServer.h"
#include "config/EndpointController.h"
#include "server/RequestController.h"
#include "net/ResponseBase.h"
#include "platform/PlatformServices.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "storage/FileSystemController.h"

namespace kestrel::test {

// The language variables all unset, so that each test chooses its own.
inline std::map<std::string, const char*> NoLanguage() {
  return {{"LANGUAGE", nullptr}, {"LC_ALL", nullptr}, {"LC_MESSAGES", nullptr}, {"LANG", nullptr}};
}

// Every response a request controller delivered, in order.
class ResponseLog {
 public:
  void Add(std::shared_ptr<ResponseBase> response) {
    std::lock_guard lock(m_mutex);
    m_responses.push_back(std::move(response));
  }
  std::vector<std::shared_ptr<ResponseBase>> All() const {
    std::lock_guard lock(m_mutex);
    return m_responses;
  }
  std::size_t Size() const {
    std::lock_guard lock(m_mutex);
    return m_responses.size();
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<std::shared_ptr<ResponseBase>> m_responses;
};

// A request controller with the real file-system and endpoint controllers
// around it, and the local ad server on loopback.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ControllerRegistry::Clear();
    ControllerRegistry::SetFolderName("TovaneSDK");
    m_fileSystem = std::make_shared<FileSystemController>("TovaneSDK");
    ControllerRegistry::SetFileSystemController(m_fileSystem);
    m_server.Start();
    m_endpoints = std::make_shared<EndpointController>();
    m_endpoints->SetConfigUrl(m_server.BaseUrl() + "/config");
    m_endpoints->SetAdsUrl(m_server.BaseUrl() + "/ads");
    ControllerRegistry::SetEndpointController(m_endpoints);
    m_controller = std::make_shared<RequestController>();
    ControllerRegistry::SetRequestController(m_controller);
    m_controller->AddResponseListener([this](std::shared_ptr<ResponseBase> r) { m_responses.Add(std::move(r)); });
  }

  void TearDown() override {
    m_server.Stop();
    ControllerRegistry::Clear();
    PlatformServices::SetHttpClient(nullptr);
  }

  std::string Url(const std::string& path) const { return m_server.BaseUrl() + path; }
  std::filesystem::path Creatives() const { return m_fileSystem->GetCreativesFolder(); }

  // Names in a folder, recursively, relative to it, sorted.
  static std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      names.push_back(std::filesystem::relative(it->path(), folder).generic_string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  ScopedDataHome m_dataHome;
  adserver::LocalAdServer m_server;
  std::shared_ptr<FileSystemController> m_fileSystem;
  std::shared_ptr<EndpointController> m_endpoints;
  std::shared_ptr<RequestController> m_controller;
  ResponseLog m_responses;
};

}  // namespace kestrel::test
