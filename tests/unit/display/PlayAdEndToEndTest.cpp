// PlayAd through the public interface against the local ad server, with a
// real GTK publisher window and the real web engine. This thread plays the
// publisher's GTK thread: it pumps the main loop while it waits.

#include <dlfcn.h>
#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "LocalAdServer.h"
#include "config/IPersistentSettingsController.h"
#include "display/DisplayAdController.h"
#include "display/DisplayOverlayAdView.h"
#include "kestrel/KestrelAds.h"
#include "platform/IHttpClient.h"
#include "platform/IUrlOpener.h"
#include "platform/PlatformServices.h"
#include "base/ControllerRegistry.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/SdkState.h"
#include "support/GtkPump.h"
#include "support/LogCapture.h"
#include "support/RecordingUrlOpener.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using test::LogCapture;

using test::Pump;
using test::PumpUntil;

// Takes the keyboard focus away from every window, as when the user turns to
// another application: XSetInputFocus(display, root window, RevertToNone,
// CurrentTime). GDK has loaded Xlib; its headers clash with the test framework.
void FocusNothing() {
  using XDisplayOf = void* (*)(GdkDisplay*);
  using XidOf = unsigned long (*)(GdkWindow*);
  using SetInputFocus = int (*)(void*, unsigned long, int, unsigned long);
  auto xDisplayOf = reinterpret_cast<XDisplayOf>(dlsym(RTLD_DEFAULT, "gdk_x11_display_get_xdisplay"));
  auto xidOf = reinterpret_cast<XidOf>(dlsym(RTLD_DEFAULT, "gdk_x11_window_get_xid"));
  auto setInputFocus = reinterpret_cast<SetInputFocus>(dlsym(RTLD_DEFAULT, "XSetInputFocus"));
  ASSERT_NE(xDisplayOf, nullptr);
  ASSERT_NE(xidOf, nullptr);
  ASSERT_NE(setInputFocus, nullptr);
  setInputFocus(xDisplayOf(gdk_display_get_default()), xidOf(gdk_get_default_root_window()), 0, 0);
  gdk_display_flush(gdk_display_get_default());
}

using test::RecordingUrlOpener;

// The SDK's close control in the overlay, or null.
GtkWidget* FindCloseControl(GtkWidget* widget) {
  if (GTK_IS_BUTTON(widget) && std::string(gtk_widget_get_name(widget)) == "kestrel-close") return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* child = children; child && !found; child = child->next) found = FindCloseControl(GTK_WIDGET(child->data));
  g_list_free(children);
  return found;
}

// The user presses a key in the window.
void PressKey(GtkWidget* window, guint keyval) {
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  event->key.keyval = keyval;
  event->key.time = GDK_CURRENT_TIME;
  gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_widget_event(window, event);
  gdk_event_free(event);
}

// Kills the browser's web processes of this process, as a crash would.
int KillWebProcesses() {
  int killed = 0;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string pid, comm, state, parent;
    stat >> pid >> comm >> state >> parent;
    if (parent == std::to_string(getpid()) && comm.find("WebKitWebProc") != std::string::npos) {
      killed += kill(std::stoi(pid), SIGKILL) == 0;
    }
  }
  return killed;
}

// The play callbacks, as they arrive (on this thread).
struct PlayEvents {
  std::vector<AdPlayEventArgs> start, end, click, rewarded, failure;
  bool webViewAtEnd = false;  // the creative's page still there when OnAdEnd ran

  AdPlayCallback Callback() {
    AdPlayCallback callback;
    callback.OnAdStart = [this](AdPlayEventArgs args) { start.push_back(args); };
    callback.OnAdEnd = [this](AdPlayEventArgs args) {
      auto view = DisplayOverlayAdView::Current();
      webViewAtEnd = view && view->HasWebView();
      end.push_back(args);
    };
    callback.OnAdClick = [this](AdPlayEventArgs args) { click.push_back(args); };
    callback.OnAdRewarded = [this](AdPlayEventArgs args) { rewarded.push_back(args); };
    callback.OnAdPlayFailure = [this](AdPlayEventArgs args) { failure.push_back(args); };
    return callback;
  }
};

// The overlay windows that GTK shows.
std::vector<GtkWindow*> VisibleOverlays() {
  std::vector<GtkWindow*> overlays;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    const char* title = gtk_window_get_title(window);
    if (title && std::string(title) == "Overlay Window" && gtk_widget_get_visible(GTK_WIDGET(window))) {
      overlays.push_back(window);
    }
  }
  g_list_free(windows);
  return overlays;
}

class PlayAdEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("NO_AT_BRIDGE", "1", 1);  // the accessibility bridge leaks at start-up
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
    gtk_widget_show(window);
    ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(window); }));

    // The SDK's folders, the creative's path among them, are not ASCII.
    const fs::path home = dataHome.Path() / "donn\u00e9es \u00e4";
    fs::create_directories(home);
    setenv("XDG_DATA_HOME", home.c_str(), 1);

    SdkState::Reset();
    PlatformServices::SetUrlOpener(opener);
    auto options = adserver::LocalAdServer::QuietOptions();
    options.countdownSeconds = 0;  // the creative reports its view as soon as it starts
    server = std::make_unique<adserver::LocalAdServer>(options);
    server->Start();
    ASSERT_TRUE(Initialize());
  }

  bool Initialize() {
    KestrelSdkConfig config;
    config.ConfigBaseUrl = server->BaseUrl();
    bool initialized = false;
    InitializationCallback callback{[&](InitializationSuccessEventArgs) { initialized = true; }, {}};
    auto future = KestrelAds::InitializeAsync("e2e-app", config, window, callback);
    if (!PumpUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; })) {
      return false;
    }
    ads = future.get();
    return ads && initialized;
  }

  void TearDown() override {
    if (!server) return;
    SdkState::Reset();
    PlatformServices::SetUrlOpener(nullptr);
    if (window) gtk_widget_destroy(window);
    Pump();
    if (server) server->Stop();
  }

  bool Load(const std::string& placement) {
    bool loaded = false;
    AdLoadCallback callback{[&](AdLoadEventArgs) { loaded = true; }, {}};
    return ads->LoadAd(placement, callback) && PumpUntil([&] { return loaded; });
  }

  // Loads and plays the placement, and waits until the creative has started.
  KestrelAdPlayInfo Play(const std::string& placement, AdConfig config = {}) {
    EXPECT_TRUE(Load(placement));
    const std::size_t impressions = server->Requests("/tpat/impression").size();
    KestrelAdPlayInfo info = ads->PlayAd(placement, events.Callback(), config);
    EXPECT_TRUE(PumpUntil([&] { return server->Requests("/tpat/impression").size() > impressions; }));
    return info;
  }

  // Waits, pumping, until the server has recorded that many requests under the path.
  bool Hits(const std::string& path, std::size_t count) {
    return PumpUntil([&] { return server->Requests(path).size() >= count; });
  }

  // Runs a script in the ad's page; its result as JSON, or nothing.
  std::optional<nlohmann::json> Eval(const std::string& script) {
    auto view = DisplayOverlayAdView::Current();
    if (!view) return std::nullopt;
    bool done = false;
    int error = -1;
    std::string result;
    view->ExecuteScript(script, [&](int code, const std::string& json) {
      error = code;
      result = json;
      done = true;
    });
    if (!PumpUntil([&] { return done; }) || error != 0) return std::nullopt;
    return result.empty() ? nlohmann::json() : nlohmann::json::parse(result, nullptr, false);
  }

  std::string Text(const std::string& elementId) {
    auto text = Eval("document.getElementById('" + elementId + "').textContent");
    return text && text->is_string() ? text->get<std::string>() : std::string("<none>");
  }

  void Click(const std::string& elementId) {
    EXPECT_TRUE(Eval("document.getElementById('" + elementId + "').click(); true")) << elementId;
  }

  test::ScopedDataHome dataHome;
  GtkWidget* window = nullptr;
  std::shared_ptr<RecordingUrlOpener> opener = std::make_shared<RecordingUrlOpener>();
  std::unique_ptr<adserver::LocalAdServer> server;
  KestrelAds* ads = nullptr;
  PlayEvents events;
};

TEST_F(PlayAdEndToEndTest, PlaysTheAdFromStartToEnd) {
  LogCapture log;
  const KestrelAdPlayInfo info = Play("interstitial");
  EXPECT_TRUE(info.Success);
  ASSERT_EQ(events.start.size(), 1u);
  EXPECT_EQ(events.start[0].Message, "interstitialAd started successfully.");
  EXPECT_EQ(events.start[0].EventId, info.EventId);
  EXPECT_EQ(VisibleOverlays().size(), 1u);

  // The properties came before the ready event, the replacements with it.
  EXPECT_EQ(Text("status"), "placement interstitial \u00b7 interstitial \u00b7 asoi off");
  EXPECT_EQ(Text("title"), "Kestrel sample ad");
  EXPECT_EQ(Eval("mraid.getState()"), nlohmann::json("default"));
  EXPECT_EQ(Eval("window.tovane.mraidBridgeExt.getReplacementTokens().EVENT_ID"), nlohmann::json(info.EventId));
  EXPECT_EQ(log.Count("WebView2 NavigationCompleted event fired."), 1);
  EXPECT_EQ(log.Count("Notify container set \"true\"", LogLevel::Info), 1);
  EXPECT_EQ(log.CountStartingWith("Unknown Command received from Creative bridge: "), 0);

  // The tracking URLs reached the server with their macros filled in.
  const auto impressions = server->Requests("/tpat/impression");
  ASSERT_EQ(impressions.size(), 1u);
  EXPECT_EQ(impressions[0].Param("ev"), info.EventId);
  EXPECT_EQ(impressions[0].query.find("%timestamp%"), std::string::npos) << impressions[0].query;
  EXPECT_EQ(impressions[0].query.find("{{{"), std::string::npos) << impressions[0].query;
  EXPECT_FALSE(impressions[0].Param("ts").empty());
  EXPECT_TRUE(Hits("/tpat/partner/impression", 1));

  // The creative's successful view.
  ASSERT_TRUE(PumpUntil([&] { return events.rewarded.size() == 1; }));
  EXPECT_EQ(events.rewarded[0].Message, "Rewarded ad viewed.");
  EXPECT_TRUE(Hits("/tpat/successful_view", 1));

  // Close: the publisher hears of it while the page is still there; then the overlay goes.
  Click("close");
  ASSERT_TRUE(PumpUntil([&] { return events.end.size() == 1; }));
  EXPECT_EQ(events.end[0].Message, "Ad Closed.");
  EXPECT_TRUE(events.webViewAtEnd);
  EXPECT_EQ(DisplayOverlayAdView::Current(), nullptr);
  EXPECT_TRUE(VisibleOverlays().empty());
  EXPECT_TRUE(Hits("/tpat/close", 1));
  EXPECT_TRUE(events.failure.empty());
  EXPECT_TRUE(events.click.empty());
}

TEST_F(PlayAdEndToEndTest, AHeaderBiddingPlayShowsTheAdAndFiresTheBidImpressions) {
  HttpExchange exchange;
  exchange.verb = "GET";
  exchange.url = server->BaseUrl() + "/hb/markup?placement=hb_banner";
  exchange.agent = "mediation-layer";
  const std::string markup = CreateHttpClient()->Exchange(exchange).body;
  bool loaded = false;
  AdLoadCallback loadCallback{[&](AdLoadEventArgs) { loaded = true; }, {}};
  ASSERT_TRUE(ads->LoadMediatedAd("hb_banner", loadCallback, markup));
  ASSERT_TRUE(PumpUntil([&] { return loaded; }));

  const KestrelAdPlayInfo info = ads->PlayMediatedAd(AdConfig{}, "hb_banner", events.Callback(), markup);
  EXPECT_TRUE(info.Success) << info.Message;
  ASSERT_TRUE(Hits("/hb/impression", 1));
  EXPECT_EQ(server->Requests("/hb/impression")[0].Param("ev"), info.EventId);
  ASSERT_EQ(events.start.size(), 1u);
  EXPECT_EQ(VisibleOverlays().size(), 1u);
  ASSERT_TRUE(Hits("/tpat/impression", 1));  // the creative runs in the overlay
  Click("close");
  ASSERT_TRUE(PumpUntil([&] { return events.end.size() == 1; }));
  EXPECT_TRUE(events.failure.empty());
}

TEST_F(PlayAdEndToEndTest, OpenReportsTheClickAndOpensTheAdvertisersPage) {
  Play("interstitial");
  Click("cta");
  ASSERT_TRUE(PumpUntil([&] { return events.click.size() == 1; }));
  EXPECT_EQ(events.click[0].Message, "Ad Clicked.");
  ASSERT_TRUE(PumpUntil([&] { return opener->Urls().size() == 1; }));
  EXPECT_EQ(opener->Urls()[0], "https://www.example.com/kestrel-demo?placement=interstitial");
  EXPECT_TRUE(Hits("/tpat/click", 1));
  EXPECT_NE(DisplayOverlayAdView::Current(), nullptr);  // the ad stays up
}

TEST_F(PlayAdEndToEndTest, APlayOffTheWindowThreadOrForAnotherWidgetShowsNothing) {
  ASSERT_TRUE(Load("interstitial"));
  {
    LogCapture log;
    auto info = std::async(std::launch::async, [&] { return ads->PlayAd("interstitial", events.Callback()); }).get();
    EXPECT_EQ(log.Count("Overlay window must be created on the same thread as the publisher window!", LogLevel::Error),
              1);
    Pump();
    EXPECT_EQ(DisplayOverlayAdView::Current(), nullptr);
    EXPECT_TRUE(VisibleOverlays().empty());
  }

  ASSERT_TRUE(Load("interstitial"));
  LogCapture log;
  GtkWidget* button = gtk_button_new();
  g_object_ref_sink(button);
  AdConfig config;
  config.Window = button;
  ads->PlayAd("interstitial", events.Callback(), config);
  EXPECT_EQ(log.Count("Invalid publisher window handle provided.", LogLevel::Error), 1);
  EXPECT_EQ(DisplayOverlayAdView::Current(), nullptr);
  EXPECT_TRUE(VisibleOverlays().empty());
  g_object_unref(button);
}

TEST_F(PlayAdEndToEndTest, TheOverlayAndTheCreativeFollowThePublisherWindowsSize) {
  Play("interstitial");
  auto maxSize = [&] { return Eval("mraid.getMaxSize()").value_or(nlohmann::json()); };
  gtk_window_resize(GTK_WINDOW(window), 500, 300);
  EXPECT_TRUE(PumpUntil([&] {
    return maxSize() == nlohmann::json{{"width", "500"}, {"height", "300"}};
  })) << maxSize().dump();
  EXPECT_EQ(Eval("mraid.getCurrentPosition()"),
            (nlohmann::json{{"height", "300"}, {"width", "500"}, {"x", "0"}, {"y", "0"}}));
  ASSERT_EQ(VisibleOverlays().size(), 1u);
  GtkWindow* overlay = VisibleOverlays()[0];
  EXPECT_TRUE(PumpUntil([&] {
    gint width = 0;
    gint height = 0;
    gtk_window_get_size(overlay, &width, &height);
    return width == 500 && height == 300;
  }));
}

TEST_F(PlayAdEndToEndTest, TheAdOutlivesAPublisherWindowDestroyedUnderIt) {
  Play("interstitial");
  gtk_widget_destroy(window);
  window = nullptr;
  Pump();
  EXPECT_EQ(Eval("mraid.getState()"), nlohmann::json("default"));
  Click("close");
  ASSERT_TRUE(PumpUntil([&] { return events.end.size() == 1; }));
  EXPECT_TRUE(VisibleOverlays().empty());
}

TEST_F(PlayAdEndToEndTest, TheConsentAnswerFromTheCreativeIsStoredAsTheDialogs) {
  auto settings = ControllerRegistry::GetPersistentSettingsController();
  ASSERT_NE(settings, nullptr);
  Play("interstitial");
  EXPECT_EQ(Eval("mraid.getConsentRequired()"), nlohmann::json("true"));
  EXPECT_EQ(Text("consent-accept"), "I agree");
  EXPECT_EQ(Eval("document.getElementById('consent').hidden"), nlohmann::json(false));
  EXPECT_TRUE(settings->GetWatchForGDPRTimeout());

  Click("consent-accept");
  ASSERT_TRUE(PumpUntil([&] { return settings->GetGdprConsentStatus() == 1; }));
  EXPECT_EQ(settings->GetGdprConsentSource(), 1);
  EXPECT_FALSE(settings->GetWatchForGDPRTimeout());
  EXPECT_TRUE(Hits("/tpat/consent", 1));
}

TEST_F(PlayAdEndToEndTest, AConsentDialogLeftUnansweredTimesOutAtTheNextStart) {
  Play("interstitial");
  ASSERT_EQ(Eval("document.getElementById('consent').hidden"), nlohmann::json(false));
  SdkState::Reset();
  Pump();
  EXPECT_EQ(DisplayOverlayAdView::Current(), nullptr);
  EXPECT_TRUE(VisibleOverlays().empty());

  LogCapture log;
  ASSERT_TRUE(Initialize());
  auto settings = ControllerRegistry::GetPersistentSettingsController();
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(settings->GetGdprConsentStatus(), 3);
  EXPECT_EQ(settings->GetGdprConsentSource(), 1);
  EXPECT_TRUE(log.Has("User didn't click on GDPR dialog button -- setting Consent to Timeout", LogLevel::Info));
}

TEST_F(PlayAdEndToEndTest, TextOutsideAsciiCrossesTheBridgeIntactAndStrayMessagesAreLogged) {
  LogCapture log;
  auto gdpr = ControllerRegistry::GetGdprController();
  ASSERT_NE(gdpr, nullptr);
  const std::string title = "Donn\u00e9es personnelles \u2713 \u4e2a\u4eba \U0001F512";
  gdpr->SetConsentTitleText(title);
  Play("interstitial");
  EXPECT_EQ(Text("consent-title"), title);
  ASSERT_TRUE(Eval("window.chrome.webview.postMessage('caf\u00e9 \u2713'); true"));
  EXPECT_TRUE(PumpUntil([&] { return log.Has("*****Receive script notify: caf\u00e9 \u2713", LogLevel::Info); }));
  EXPECT_TRUE(log.Has("Unknown Command received from Creative bridge: caf\u00e9 \u2713", LogLevel::Error));

  // The creative's own errors come through the error hook with their message, file and line.
  for (const auto& entry : fs::recursive_directory_iterator(dataHome.Path())) {
    if (entry.path().filename() == "creative.js") {
      std::ofstream(entry.path().parent_path() / "throws.js") << "\n noSuchFunction();\n";
    }
  }
  const std::string page = Eval("location.href").value_or("").get<std::string>();
  ASSERT_TRUE(
      Eval("var s = document.createElement('script'); s.src = 'throws.js'; document.head.appendChild(s); true"));
  EXPECT_TRUE(PumpUntil([&] {
    return log.CountStartingWith(
               "Unknown Command received from Creative bridge: JS_KE_ERROR:ReferenceError: Can't find "
               "variable: noSuchFunction at " +
               page.substr(0, page.rfind('/') + 1) + "throws.js:2:") == 1;
  }));
  ASSERT_TRUE(Eval("Promise.reject('refused'); true"));
  EXPECT_TRUE(PumpUntil([&] {
    return log.Has("Unknown Command received from Creative bridge: JS_KE_PROMISE_ERROR:refused", LogLevel::Error);
  }));
}

TEST_F(PlayAdEndToEndTest, ASecondNavigationInThePageSendsNothingAgain) {
  LogCapture log;
  Play("interstitial");
  ASSERT_TRUE(Eval("window.firstDocument = true; location.reload(); true"));
  // The new document has the bridge but no ready event.
  EXPECT_TRUE(PumpUntil([&] {
    return Eval("document.readyState === 'complete' && !window.firstDocument && mraid.getState()") ==
           nlohmann::json("loading");
  }));
  EXPECT_EQ(log.Count("WebView2 NavigationCompleted event fired."), 1);
  EXPECT_NE(Eval("mraid.getPlacementType()"), nlohmann::json("interstitial"));
  EXPECT_EQ(server->Requests("/tpat/impression").size(), 1u);
}

TEST_F(PlayAdEndToEndTest, TheCreativeSeesTheApplicationLoseAndRegainTheFocus) {
  LogCapture log;
  Play("interstitial");
  auto viewable = [&] { return Eval("mraid.isViewable()").value_or(nlohmann::json()); };
  EXPECT_EQ(viewable(), nlohmann::json(true));
  // Xvfb has no window manager: nothing has the focus until the publisher takes it.
  gtk_window_present(GTK_WINDOW(window));
  ASSERT_TRUE(PumpUntil([&] { return log.Has("****App Focus Changed****: IsActive = true", LogLevel::Info); }));
  FocusNothing();
  EXPECT_TRUE(PumpUntil([&] { return viewable() == nlohmann::json(false); }));
  EXPECT_EQ(log.Count("****App Focus Changed****: IsActive = false", LogLevel::Info), 1);
  gtk_window_present(GTK_WINDOW(window));
  EXPECT_TRUE(PumpUntil([&] { return viewable() == nlohmann::json(true); }));
  EXPECT_EQ(log.Count("****App Focus Changed****: IsActive = true", LogLevel::Info), 2);
}

TEST_F(PlayAdEndToEndTest, SavesAPictureOfThePlayingAd) {
  Play("interstitial");
  test::TempDir dir;
  const fs::path png = dir.Path() / "ad.png";
  std::optional<bool> saved;
  DisplayOverlayAdView::Current()->SaveSnapshot(png.string(), [&](bool ok) { saved = ok; });
  ASSERT_TRUE(PumpUntil([&] { return saved.has_value(); }));
  ASSERT_TRUE(*saved);
  cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
  ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(image), 640);
  EXPECT_EQ(cairo_image_surface_get_height(image), 480);
  // The creative's page, not an empty surface: more than one colour.
  cairo_surface_flush(image);
  const unsigned char* pixels = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  bool varied = false;
  for (int y = 0; y < 480 && !varied; ++y) {
    for (int x = 0; x < 640 && !varied; ++x) {
      varied = std::memcmp(pixels + y * stride + x * 4, pixels, 4) != 0;
    }
  }
  EXPECT_TRUE(varied);
  cairo_surface_destroy(image);
}

// Creatives that misbehave, from the ad server's shelf: each play ends, by the
// user through the SDK's control or Escape, or by the SDK within its limit,
// with one callback; the publisher's window is free again and a good ad plays next.
TEST_F(PlayAdEndToEndTest, AFaultyOrHostileCreativeNeverTrapsTheUserOrThePublisher) {
  using std::chrono::seconds;
  using Clock = std::chrono::steady_clock;
  enum class Ending { ControlClicked, EscapePressed, Fails };
  const seconds slack(10);
  std::size_t opensBefore = 0;
  auto opened = [&] { return opener->Urls().size() - opensBefore; };
  const struct {
    const char* creative;
    const char* placement;
    Ending ending;
    std::function<void()> duringPlay;  // before the ending
    std::function<void(const LogCapture&, Clock::duration played)> check;
  } rows[] = {
      {"navigates-away", "interstitial", Ending::ControlClicked,
       [&] {
         // The page outside the ad tried every channel; nothing of it was heard.
         EXPECT_TRUE(PumpUntil([&] {
           return Eval("document.title.indexOf('away: no bridge') === 0") == nlohmann::json(true);
         }));
       },
       [&](const LogCapture& log, Clock::duration) {
         EXPECT_EQ(log.CountStartingWith("A message from " + server->BaseUrl() + "/creatives/navigates-away/away.html"),
                   1);
         EXPECT_TRUE(events.click.empty());
         EXPECT_EQ(opened(), 0u);
       }},
      {"no-close-button", "interstitial", Ending::EscapePressed, {}, {}},
      {"no-close-button", "rewarded_video", Ending::ControlClicked, {},
       [&](const LogCapture&, Clock::duration) { EXPECT_EQ(events.rewarded.size(), 1u); }},
      {"throws-at-load", "interstitial", Ending::EscapePressed, {},
       [&](const LogCapture& log, Clock::duration) {
         EXPECT_EQ(log.CountStartingWith("Unknown Command received from Creative bridge: JS_KE_ERROR:TypeError"), 1);
       }},
      {"never-ready", "interstitial", Ending::Fails, {}, {}},
      {"endless-loop", "interstitial", Ending::Fails, {}, {}},
      // A page cannot end its own process: the test kills it, as a crash would.
      {"no-close-button", "interstitial", Ending::Fails,
       [&] {
         ASSERT_TRUE(PumpUntil([&] { return Eval("document.readyState") == nlohmann::json("complete"); }));
         EXPECT_GE(KillWebProcesses(), 1);
       },
       [&](const LogCapture&, Clock::duration) {
         ASSERT_EQ(events.failure.size(), 1u);
         EXPECT_NE(events.failure[0].Message.find("web process"), std::string::npos) << events.failure[0].Message;
       }},
      {"floods-messages", "interstitial", Ending::ControlClicked,
       [&] {
         EXPECT_TRUE(PumpUntil([&] { return server->Requests("/tpat/click").size() >= 50; }));
       },
       [&](const LogCapture& log, Clock::duration) {
         EXPECT_EQ(log.CountStartingWith("The creative sends more than"), 1);
         EXPECT_EQ(log.CountStartingWith("The creative sent more than"), 1);
         EXPECT_LE(server->Requests("/tpat/click").size(), 50u);
       }},
      {"huge-message", "interstitial", Ending::EscapePressed, {},
       [&](const LogCapture& log, Clock::duration) {
         EXPECT_EQ(log.CountStartingWith("A message of "), 1);
       }},
      {"opens-in-a-loop", "interstitial", Ending::ControlClicked,
       [&] { EXPECT_TRUE(PumpUntil([&] { return opened() >= 2; })); },
       [&](const LogCapture& log, Clock::duration played) {
         EXPECT_GE(opened(), 2u);
         EXPECT_LE(opened(), 1 + static_cast<std::size_t>(played / DisplayAdController::kOpenInterval));
         EXPECT_EQ(events.click.size(), opened());
         EXPECT_EQ(log.CountStartingWith("The creative opens urls faster than"), 1);
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.creative) + " on " + row.placement);
    LogCapture log;
    events = {};
    opensBefore = opener->Urls().size();
    server->ChooseCreative(row.creative);
    ASSERT_TRUE(Load(row.placement));
    const std::size_t closeHits = server->Requests("/tpat/close").size();
    const auto started = Clock::now();
    ads->PlayAd(row.placement, events.Callback(), {});
    ASSERT_EQ(events.start.size(), 1u);
    if (row.duringPlay) row.duringPlay();

    if (row.ending == Ending::Fails) {
      EXPECT_TRUE(PumpUntil([&] { return !events.failure.empty(); }, DisplayOverlayAdView::kReadyTimeout + slack));
      EXPECT_EQ(events.failure.size(), 1u);
      EXPECT_TRUE(events.end.empty());
    } else {
      // The control comes after the grace period, not before.
      ASSERT_TRUE(PumpUntil([&] { return VisibleOverlays().size() == 1 && FindCloseControl(GTK_WIDGET(VisibleOverlays()[0])); },
                            DisplayOverlayAdView::kCloseControlGrace + slack));
      EXPECT_GE(Clock::now() - started, DisplayOverlayAdView::kCloseControlGrace - seconds(1));
      GtkWidget* overlay = GTK_WIDGET(VisibleOverlays()[0]);
      if (row.ending == Ending::EscapePressed) {
        PressKey(overlay, GDK_KEY_Escape);
      } else {
        gtk_button_clicked(GTK_BUTTON(FindCloseControl(overlay)));
      }
      ASSERT_TRUE(PumpUntil([&] { return !events.end.empty(); }));
      EXPECT_EQ(events.end.size(), 1u);
      EXPECT_EQ(events.end[0].Message, "Ad Closed.");
      EXPECT_TRUE(events.failure.empty());
      EXPECT_TRUE(Hits("/tpat/close", closeHits + 1));  // as the creative's own close
    }
    const auto played = Clock::now() - started;
    EXPECT_TRUE(PumpUntil([&] { return VisibleOverlays().empty() && !DisplayOverlayAdView::Current(); }));
    if (row.check) row.check(log, played);
    if (!std::string_view(row.placement).starts_with("rewarded")) {
      EXPECT_TRUE(events.rewarded.empty());
    }

    // The publisher's window takes the keyboard again, and a good ad plays next.
    int keys = 0;
    const gulong handler = g_signal_connect(window, "key-press-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer count) {
                                              ++*static_cast<int*>(count);
                                              return FALSE;
                                            }),
                                            &keys);
    PressKey(window, GDK_KEY_a);
    g_signal_handler_disconnect(window, handler);
    EXPECT_EQ(keys, 1);
    server->ChooseCreative("");
    events = {};
    Play("interstitial");
    EXPECT_TRUE(PumpUntil([&] { return Text("title") == "Kestrel sample ad"; }));
    Click("close");
    EXPECT_TRUE(PumpUntil([&] { return events.end.size() == 1; }));
    EXPECT_TRUE(events.failure.empty());
  }
}

}  // namespace
}  // namespace kestrel
