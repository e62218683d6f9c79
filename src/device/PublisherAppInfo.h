#pragma once

#include <mutex>

#include "device/IPublisherAppInfo.h"

namespace kestrel {

// The application's facts, read once at construction: the package it was
// installed from, else the executable's file name; the package's or the
// executable's version, else "1.0.0.0".
class PublisherAppInfo : public IPublisherAppInfo {
 public:
  explicit PublisherAppInfo(const std::string& appId);

  std::string GetPackageName() const override;
  std::string GetAppId() const override;
  void SetAppId(const std::string& appId) override;
  std::string GetAppVersion() const override;
  void PrintAppInfo() const override;

 private:
  const std::string m_packageName;
  const std::string m_appVersion;
  mutable std::mutex m_mutex;
  std::string m_appId;  // guarded by m_mutex
};

}  // namespace kestrel
