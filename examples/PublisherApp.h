// The GTK publisher application: its window drives the SDK through the
// public header, by hand or, automated, from initialisation to the end of
// one rewarded ad. Everything here runs on the GTK main-loop thread; SDK
// callbacks are recorded where they arrive and handled on that thread.
#pragma once

#include <kestrel/KestrelAds.h>

#include <memory>
#include <string>
#include <vector>

#include "DemoWindow.h"
#include "EventTimeline.h"

namespace kestrel::demo {

class PublisherApp {
 public:
  struct Options {
    std::string BaseUrl;         // the ad server's configuration base URL; empty: the ad network
    std::string RecordFile;      // the local ad server's --record file, or empty
    bool Automated = false;      // initialise, load, play and exit when the ad ends
    std::string ScreenshotPath;  // where the automated run saves the ad's picture
    int DeadlineSeconds = 90;    // the automated run fails after this long
    // When set, the automated run takes its picture this long after the ad
    // starts and then presses Escape, as a user leaving an ad with no close
    // button of its own does through the SDK's close control.
    int UserLeavesAfterSeconds = 0;
  };

  // Call after gtk_init.
  explicit PublisherApp(Options options);
  ~PublisherApp();
  PublisherApp(const PublisherApp&) = delete;
  PublisherApp& operator=(const PublisherApp&) = delete;

  // Runs the main loop until the window closes or the automated run ends.
  // Returns the exit status: in the automated run 0 only when every
  // expected callback arrived and the screenshot was saved.
  int Run();

 private:
  using Entry = EventTimeline::Entry;

  template <typename Args>
  std::function<void(Args)> Relay(const char* name, void (PublisherApp::*handler)(const Entry&, const Args&));

  void Initialise();
  void Load();
  void Play();
  void Advance();

  void OnClosed();
  void OnInstance(KestrelAds* ads);
  void OnInitialisationSuccess(const Entry& entry, const InitializationSuccessEventArgs& args);
  void OnInitialisationFailure(const Entry& entry, const InitializationFailureEventArgs& args);
  void OnLoadSuccess(const Entry& entry, const AdLoadEventArgs& args);
  void OnLoadFailure(const Entry& entry, const AdLoadEventArgs& args);
  void OnAdStart(const Entry& entry, const AdPlayEventArgs& args);
  void OnAdRewarded(const Entry& entry, const AdPlayEventArgs& args);
  void OnAdClick(const Entry& entry, const AdPlayEventArgs& args);
  void OnAdEnd(const Entry& entry, const AdPlayEventArgs& args);
  void OnAdPlayFailure(const Entry& entry, const AdPlayEventArgs& args);

  void Log(const Entry& entry);
  void Note(const std::string& name, const std::string& detail);
  void ScheduleScreenshot(unsigned milliseconds);
  void TakeScreenshot();
  bool RewardExpected() const;
  std::vector<std::string> Missing() const;
  void Finish(const std::string& failure);
  void RemoveTimers();

  static gboolean OnScreenshotTimer(gpointer self);
  static gboolean OnUserLeaves(gpointer self);
  static gboolean OnDeadline(gpointer self);

  const Options m_options;
  const std::shared_ptr<EventTimeline> m_timeline;  // shared with the SDK's callbacks
  DemoWindow m_window;
  KestrelAds* m_ads = nullptr;
  std::vector<PlacementRecord> m_placements;
  bool m_placementsKnown = false;
  bool m_initStarted = false;
  bool m_loadStarted = false;
  bool m_loaded = false;
  bool m_playStarted = false;
  bool m_playing = false;  // between OnAdStart and OnAdEnd
  bool m_ended = false;
  bool m_screenshotSaved = false;
  bool m_finished = false;
  ScreenCapture m_beforePlay{nullptr, g_object_unref};
  guint m_screenshotTimer = 0;
  guint m_deadlineTimer = 0;
  guint m_leaveTimer = 0;
  int m_exitStatus = 0;
};

}  // namespace kestrel::demo
