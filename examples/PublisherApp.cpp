#include "PublisherApp.h"

#include <cstdio>
#include <future>
#include <thread>

#include "GtkPost.h"
#include "RecordedRequests.h"

namespace kestrel::demo {

namespace {

const char* const kAppId = "kestrel-demo";
const char* const kPlacement = "rewarded_video";
const char* const kScreenshotName = "Screenshot";
const int kRewardCoins = 10;

std::string Describe(const InitializationSuccessEventArgs& args) {
  std::string text = std::to_string(args.Placements.size()) + " placements:";
  for (const auto& p : args.Placements) text += " " + p.ReferenceId;
  return text;
}

std::string Describe(const InitializationFailureEventArgs& args) {
  return args.Message;
}

std::string Describe(const AdLoadEventArgs& args) {
  std::string text = args.PlacementId + ", count " + std::to_string(args.Count);
  if (!args.Message.empty()) text += ", \"" + args.Message + "\"";
  return text;
}

std::string Describe(const AdPlayEventArgs& args) {
  std::string text = args.PlacementId;
  if (!args.EventId.empty()) text += ", event " + args.EventId;
  if (!args.Message.empty()) text += ", \"" + args.Message + "\"";
  return text;
}

std::string PrivacyLine() {
  return std::string("GDPR ") +
         (KestrelAds::GetGdprConsentStatus() == GdprConsentStatus::Denied ? "Denied" : "Accepted") + ", CCPA " +
         (KestrelAds::GetCcpaStatus() == CcpaConsentStatus::OptedOut ? "Opted Out" : "Opted In") + ", COPPA " +
         (KestrelAds::GetCoppaStatus() ? "true" : "false");
}

}  // namespace

PublisherApp::PublisherApp(Options options)
    : m_options(std::move(options)),
      m_timeline(std::make_shared<EventTimeline>()),
      m_window("Kestrel demo publisher", DemoWindow::Actions{[this] { Initialise(); }, [this] { Load(); },
                                                             [this] { Play(); }, [this] { OnClosed(); }}) {}

PublisherApp::~PublisherApp() {
  RemoveTimers();
}

void PublisherApp::OnClosed() {
  if (m_options.Automated) {
    Finish("the window was closed");
  } else {
    gtk_main_quit();
  }
}

int PublisherApp::Run() {
  // SDK errors join the timeline: some failures (a failed /ads exchange, for
  // one) reach the publisher only as a log line. The listener stays for the
  // life of the process and holds only the timeline until it is on the GTK
  // thread, like Relay.
  KestrelAds::AddDiagnosticListener([timeline = m_timeline, self = this](DiagnosticLogEvent event) {
    if (event.Level < LogLevel::Error) return;
    Entry entry = timeline->Record("SDK error", event.Message);
    PostToGtk([self, entry = std::move(entry)] { self->Log(entry); });
  });
  m_window.Show();
  m_window.SetStatus(m_options.Automated ? "Automated run" : "Press Initialise");
  if (m_options.Automated) {
    m_deadlineTimer = g_timeout_add_seconds(static_cast<guint>(m_options.DeadlineSeconds), OnDeadline, this);
    PostToGtk([this] { Advance(); });
  }
  gtk_main();
  return m_exitStatus;
}

// A callback for the SDK: records the event on the thread it arrives on, then
// hands it to `handler` on the GTK thread. It holds the timeline, not this
// object, until it is on the GTK thread, so a late call after the main loop
// has ended touches nothing that is gone.
template <typename Args>
std::function<void(Args)> PublisherApp::Relay(const char* name,
                                              void (PublisherApp::*handler)(const Entry&, const Args&)) {
  return [timeline = m_timeline, self = this, name, handler](Args args) {
    Entry entry = timeline->Record(name, Describe(args));
    PostToGtk([self, handler, entry = std::move(entry), args = std::move(args)] { (self->*handler)(entry, args); });
  };
}

void PublisherApp::Initialise() {
  if (m_initStarted) return;
  m_initStarted = true;
  m_window.EnableButtons(false, false, false);
  m_window.SetStatus("Initialising...");

  KestrelSdkConfig config;
  config.ConfigBaseUrl = m_options.BaseUrl;
  InitializationCallback callback;
  callback.OnInitializationSuccess = Relay("OnInitializationSuccess", &PublisherApp::OnInitialisationSuccess);
  callback.OnInitializationFailure = Relay("OnInitializationFailure", &PublisherApp::OnInitialisationFailure);
  Note("InitializeAsync", "with the window");
  auto future = KestrelAds::InitializeAsync(kAppId, config, static_cast<WindowHandle>(m_window.Window()), callback);
  // The future completes on an SDK thread; wait for it on a thread of our own
  // so that the main loop keeps running. The thread touches only the future
  // and the main loop's queue, so it may outlive this object.
  std::thread([future = std::move(future), self = this]() mutable {
    KestrelAds* ads = nullptr;
    try {
      ads = future.get();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "kestrel-demo: InitializeAsync: %s\n", e.what());
    }
    PostToGtk([self, ads] { self->OnInstance(ads); });
  }).detach();
}

void PublisherApp::Load() {
  if (!m_ads) return;
  m_loadStarted = true;
  m_window.SetStatus("Loading an ad...");
  AdLoadCallback callback;
  callback.OnAdLoadSuccess = Relay("OnAdLoadSuccess", &PublisherApp::OnLoadSuccess);
  callback.OnAdLoadFailure = Relay("OnAdLoadFailure", &PublisherApp::OnLoadFailure);
  Note("LoadAd", kPlacement);
  if (m_ads->LoadAd(kPlacement, callback)) return;
  Note("LoadAd", "refused");
  m_window.SetStatus("LoadAd refused the request");
  if (m_options.Automated) Finish("LoadAd refused the request");
}

void PublisherApp::Play() {
  if (!m_ads || m_playing) return;
  m_playStarted = true;
  m_window.EnableButtons(false, true, false);
  m_beforePlay = m_window.CaptureScreenArea();

  AdPlayCallback callback;
  callback.OnAdStart = Relay("OnAdStart", &PublisherApp::OnAdStart);
  callback.OnAdEnd = Relay("OnAdEnd", &PublisherApp::OnAdEnd);
  callback.OnAdClick = Relay("OnAdClick", &PublisherApp::OnAdClick);
  callback.OnAdRewarded = Relay("OnAdRewarded", &PublisherApp::OnAdRewarded);
  callback.OnAdPlayFailure = Relay("OnAdPlayFailure", &PublisherApp::OnAdPlayFailure);
  AdConfig config;
  config.IncentivizedTitleText = "Leave Kestrel Valley's ad?";
  config.IncentivizedBodyText = "Watch to the end to earn " + std::to_string(kRewardCoins) + " coins.";
  const KestrelAdPlayInfo info = m_ads->PlayAd(kPlacement, callback, config);
  std::string detail = std::string(kPlacement) + ", success " + (info.Success ? "true" : "false");
  if (!info.EventId.empty()) detail += ", event " + info.EventId;
  if (!info.CreativeId.empty()) detail += ", creative " + info.CreativeId;
  if (!info.CampaignId.empty()) detail += ", campaign " + info.CampaignId;
  if (!info.Message.empty()) detail += ", \"" + info.Message + "\"";
  Note("PlayAd returned", detail);
  if (info.Success) return;
  // Some refusals come without OnAdPlayFailure.
  m_window.EnableButtons(false, true, m_ads->IsAdPlayable(kPlacement));
  m_window.SetStatus("PlayAd refused");
  if (m_options.Automated) Finish("PlayAd refused: " + info.Message);
}

// The automated run's next step, taken whenever something it waits for has arrived.
void PublisherApp::Advance() {
  if (!m_options.Automated || m_finished) return;
  if (!m_initStarted) return Initialise();
  if (!m_ads || !m_placementsKnown) return;
  if (!m_loadStarted) return Load();
  if (!m_loaded) return;
  if (!m_playStarted) return Play();
  if (m_ended) Finish("");
}

void PublisherApp::OnInstance(KestrelAds* ads) {
  if (!ads) {
    Note("InitializeAsync", "gave no instance");
    m_initStarted = false;
    m_window.EnableButtons(true, false, false);
    m_window.SetStatus("Initialisation failed");
    if (m_options.Automated) Finish("InitializeAsync gave no instance");
    return;
  }
  m_ads = ads;
  Note("InitializeAsync", "completed; privacy: " + PrivacyLine());
  m_window.EnableButtons(false, true, false);
  m_window.SetStatus("Initialised: load an ad");
  Advance();
}

void PublisherApp::OnInitialisationSuccess(const Entry& entry, const InitializationSuccessEventArgs& args) {
  Log(entry);
  m_placements = args.Placements;
  m_placementsKnown = true;
  for (const auto& p : m_placements) {
    m_window.AppendLog(std::string("             ") + p.ReferenceId + (p.IsIncentivized ? "  rewarded" : "") +
                       (p.IsAutoCached ? "  auto-cached" : "") + (p.HeaderBidding ? "  header bidding" : ""));
  }
  Advance();
}

void PublisherApp::OnInitialisationFailure(const Entry& entry, const InitializationFailureEventArgs&) {
  Log(entry);
  if (m_options.Automated) Finish("initialisation failed");
}

void PublisherApp::OnLoadSuccess(const Entry& entry, const AdLoadEventArgs&) {
  Log(entry);
  m_loaded = true;
  if (!m_playing) m_window.EnableButtons(false, true, true);
  m_window.SetStatus("An ad is ready: play it");
  Advance();
}

void PublisherApp::OnLoadFailure(const Entry& entry, const AdLoadEventArgs&) {
  Log(entry);
  m_window.SetStatus("Loading failed");
  if (m_options.Automated) Finish("the ad did not load");
}

void PublisherApp::OnAdStart(const Entry& entry, const AdPlayEventArgs&) {
  Log(entry);
  m_playing = true;
  m_window.SetStatus("Playing");
  if (m_options.Automated && m_options.UserLeavesAfterSeconds > 0) {
    m_leaveTimer = g_timeout_add_seconds(static_cast<guint>(m_options.UserLeavesAfterSeconds), OnUserLeaves, this);
    return;
  }
  // Without a reward to wait for, give the creative a moment to paint.
  if (m_options.Automated && !RewardExpected()) ScheduleScreenshot(1500);
}

void PublisherApp::OnAdRewarded(const Entry& entry, const AdPlayEventArgs&) {
  Log(entry);
  m_window.AddCoins(kRewardCoins);
  // The creative reports the view from its page, so it is showing; let it
  // paint the reward before taking the picture.
  if (m_options.Automated && m_options.UserLeavesAfterSeconds == 0) ScheduleScreenshot(300);
}

void PublisherApp::OnAdClick(const Entry& entry, const AdPlayEventArgs&) {
  Log(entry);
}

void PublisherApp::OnAdEnd(const Entry& entry, const AdPlayEventArgs&) {
  Log(entry);
  m_playing = false;
  m_ended = true;
  const bool playable = m_ads && m_ads->IsAdPlayable(kPlacement);
  m_window.EnableButtons(false, true, playable);
  m_window.SetStatus(playable ? "Ad ended: another one is ready" : "Ad ended: load another");
  Advance();
}

void PublisherApp::OnAdPlayFailure(const Entry& entry, const AdPlayEventArgs&) {
  Log(entry);
  m_playing = false;
  m_window.EnableButtons(false, true, m_ads && m_ads->IsAdPlayable(kPlacement));
  m_window.SetStatus("The ad could not play");
  if (m_options.Automated) Finish("the ad could not play (OnAdPlayFailure)");
}

void PublisherApp::Log(const Entry& entry) {
  const std::string line = EventTimeline::Format(entry);
  m_window.AppendLog(line);
  std::printf("[demo] %s\n", line.c_str());
  std::fflush(stdout);
}

// Something the demo itself did, on the GTK thread.
void PublisherApp::Note(const std::string& name, const std::string& detail) {
  Log(m_timeline->Record(name, detail));
}

void PublisherApp::ScheduleScreenshot(unsigned milliseconds) {
  if (m_screenshotTimer != 0 || m_screenshotSaved) return;
  m_screenshotTimer = g_timeout_add(milliseconds, OnScreenshotTimer, this);
}

gboolean PublisherApp::OnScreenshotTimer(gpointer self) {
  auto* app = static_cast<PublisherApp*>(self);
  app->m_screenshotTimer = 0;
  app->TakeScreenshot();
  return G_SOURCE_REMOVE;
}

// The picture, then Escape in the ad's window, which has the keyboard.
gboolean PublisherApp::OnUserLeaves(gpointer self) {
  auto* app = static_cast<PublisherApp*>(self);
  app->m_leaveTimer = 0;
  app->TakeScreenshot();
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item; item = item->next) {
    GtkWidget* window = GTK_WIDGET(item->data);
    const char* title = gtk_window_get_title(GTK_WINDOW(window));
    if (!title || std::string(title) != "Overlay Window" || !gtk_widget_get_window(window)) continue;
    GdkEvent* key = gdk_event_new(GDK_KEY_PRESS);
    key->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    key->key.keyval = GDK_KEY_Escape;
    key->key.time = GDK_CURRENT_TIME;
    gdk_event_set_device(key, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
    app->Note("Escape", "pressed in the ad");
    gtk_widget_event(window, key);
    gdk_event_free(key);
    break;
  }
  g_list_free(windows);
  return G_SOURCE_REMOVE;
}

void PublisherApp::TakeScreenshot() {
  if (!m_playing) {
    Note(kScreenshotName, "not taken: the ad had already ended");
    return;
  }
  ScreenCapture shot = m_window.CaptureScreenArea();
  if (!shot) {
    Note(kScreenshotName, "not taken: the screen could not be captured");
    return;
  }
  const double changed = m_beforePlay ? DemoWindow::ChangedShare(m_beforePlay.get(), shot.get()) : 1.0;
  const int percent = static_cast<int>(changed * 100 + 0.5);
  // The ad covers the whole client area; a picture that is mostly the
  // publisher's own window means the ad did not show.
  if (changed < 0.5) {
    Note(kScreenshotName, "not saved: only " + std::to_string(percent) + "% of the window changed under the ad");
    return;
  }
  GError* error = nullptr;
  if (!gdk_pixbuf_save(shot.get(), m_options.ScreenshotPath.c_str(), "png", &error, nullptr)) {
    Note(kScreenshotName,
         "not saved to " + m_options.ScreenshotPath + ": " + (error ? error->message : "unknown error"));
    if (error) g_error_free(error);
    return;
  }
  m_screenshotSaved = true;
  Note(kScreenshotName, "saved to " + m_options.ScreenshotPath + " (" + std::to_string(percent) +
                            "% of the window differs from before the ad)");
}

bool PublisherApp::RewardExpected() const {
  for (const auto& p : m_placements) {
    if (p.ReferenceId == kPlacement) return p.IsIncentivized;
  }
  return true;
}

std::vector<std::string> PublisherApp::Missing() const {
  std::vector<std::string> missing;
  std::vector<std::string> expected = {"OnInitializationSuccess", "OnAdLoadSuccess", "OnAdStart"};
  if (RewardExpected()) expected.push_back("OnAdRewarded");
  expected.push_back("OnAdEnd");
  for (const auto& name : expected) {
    if (!m_timeline->Has(name)) missing.push_back(name);
  }
  if (!m_screenshotSaved) missing.push_back("a screenshot of the playing ad");
  return missing;
}

void PublisherApp::Finish(const std::string& failure) {
  if (m_finished) return;
  m_finished = true;
  RemoveTimers();

  std::printf("\n== Timeline of the automated run ==\n");
  for (const auto& entry : m_timeline->Entries()) std::printf("%s\n", EventTimeline::Format(entry).c_str());
  RecordedRequests(m_options.RecordFile).ShowPaths("/tpat/");

  const auto missing = Missing();
  if (failure.empty() && missing.empty()) {
    std::printf("\nThe automated run passed: every expected callback arrived.\n");
    std::printf("Screenshot of the ad: %s\n", m_options.ScreenshotPath.c_str());
    m_exitStatus = 0;
  } else {
    std::printf("\nThe automated run FAILED%s%s\n", failure.empty() ? "" : ": ", failure.c_str());
    for (const auto& item : missing) std::printf("  missing: %s\n", item.c_str());
    m_exitStatus = 1;
  }
  std::fflush(stdout);
  gtk_main_quit();
}

gboolean PublisherApp::OnDeadline(gpointer self) {
  auto* app = static_cast<PublisherApp*>(self);
  app->m_deadlineTimer = 0;
  app->Finish("no end within " + std::to_string(app->m_options.DeadlineSeconds) + " s");
  return G_SOURCE_REMOVE;
}

void PublisherApp::RemoveTimers() {
  for (guint* timer : {&m_screenshotTimer, &m_deadlineTimer, &m_leaveTimer}) {
    if (*timer != 0) g_source_remove(*timer);
    *timer = 0;
  }
}

}  // namespace kestrel::demo
