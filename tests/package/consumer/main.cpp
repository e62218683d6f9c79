// A publisher program built against the installed SDK.
#include <kestrel/KestrelAds.h>

#include <cstdio>
#include <string>

static int g_refusals = 0;
static void OnEvent(kestrel::DiagnosticLogEvent e) {
  if (e.Message == "Can't load placement if placements aren't initialized yet!" ||
      e.Message == "Can't load an ad before InitializeAsync has been called.")
    ++g_refusals;
}

int main() {
  kestrel::KestrelAds::AddDiagnosticListener(OnEvent);
  kestrel::KestrelAds ads;
  bool failureCalled = false;
  kestrel::AdPlayCallback play;
  play.OnAdPlayFailure = [&](kestrel::AdPlayEventArgs) { failureCalled = true; };
  const bool loaded = ads.LoadAd("placement", {});
  const kestrel::KestrelAdPlayInfo info = ads.PlayAd("placement", play);
  kestrel::KestrelAds::RemoveDiagnosticListener(OnEvent);
  if (loaded || info.Success || !failureCalled || g_refusals != 2) {
    std::fprintf(stderr, "unexpected: loaded=%d success=%d failure=%d refusals=%d\n", loaded, info.Success,
                 failureCalled, g_refusals);
    return 1;
  }
  std::printf("consumer ok\n");
  return 0;
}
