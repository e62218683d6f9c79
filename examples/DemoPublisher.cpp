// A small publisher application driving the Kestrel SDK through its public header only.
#include <kestrel/KestrelAds.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex g_eventsMutex;
std::vector<std::string> g_events;

void OnDiagnostic(kestrel::DiagnosticLogEvent event) {
  std::lock_guard lock(g_eventsMutex);
  g_events.push_back(event.Message);
}

void Section(const char* title) {
  std::printf("\n== %s ==\n", title);
}

}  // namespace

int main() {
  using namespace kestrel;
  KestrelAds::AddDiagnosticListener(OnDiagnostic);

  Section("Before initialisation");
  KestrelAds ads;
  std::printf("LoadAd -> %s\n", ads.LoadAd("rewarded_video", {}) ? "true" : "false");
  std::printf("IsAdPlayable -> %s\n", ads.IsAdPlayable("rewarded_video") ? "true" : "false");
  AdPlayCallback play;
  play.OnAdPlayFailure = [](AdPlayEventArgs args) {
    std::printf("OnAdPlayFailure(%s): %s\n", args.PlacementId.c_str(), args.Message.c_str());
  };
  KestrelAdPlayInfo info = ads.PlayAd("rewarded_video", play);
  std::printf("PlayAd -> success %s, message \"%s\"\n", info.Success ? "true" : "false", info.Message.c_str());
  std::printf("GetMediationSuperToken -> \"%s\"\n", ads.GetMediationSuperToken("").c_str());

  Section("Diagnostic events the listener received");
  {
    std::lock_guard lock(g_eventsMutex);
    for (const auto& message : g_events) std::printf("  %s\n", message.c_str());
  }
  KestrelAds::RemoveDiagnosticListener(OnDiagnostic);
  return 0;
}
