// PlayAd through the public interface against the local ad server, with a
// real GTK publisher window and the real web engine. This thread plays the
// publisher's GTK thread: it pumps the main loop while it waits.

#include <dlfcn.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "support/TestPrelude.h"

#include <nlohmann/json.hpp>

#include "LocalAdServer.h"
#include "config/IPersistentSettingsController.h"
#include "display/DisplayAdController.h"
#include "display/DisplayOverlayAdView.h"
#include "display/WebEngineKeeper.h"
#include "kestrel/KestrelAds.h"
#include "platform/Backend.h"
#include "platform/PlatformServices.h"
#include "privacy/GdprController.h"
#include "base/ControllerRegistry.h"
#include "base/WorkQueue.h"
#include "sdk/ITovaneSdkAbstractFactory.h"
#include "sdk/SdkState.h"
#include "support/EngineProcesses.h"
#include "support/GtkPump.h"
#include "support/RecordingUrlOpener.h"
#include "support/TrackingStamp.h"

namespace kestrel {
namespace {

using nlohmann::json;
using test::Pump;
using test::PumpUntil;
using Clock = std::chrono::steady_clock;

// Takes the keyboard focus away from every window, as when the user turns to
// another application: XSetInputFocus(display, root window, RevertToNone,
// CurrentTime). GDK has loaded Xlib; its headers clash with the test framework.
void FocusNothing() {
  auto xDisplay = reinterpret_cast<void* (*)(GdkDisplay*)>(dlsym(RTLD_DEFAULT, "gdk_x11_display_get_xdisplay"));
  auto xid = reinterpret_cast<unsigned long (*)(GdkWindow*)>(dlsym(RTLD_DEFAULT, "gdk_x11_window_get_xid"));
  auto focus =
      reinterpret_cast<int (*)(void*, unsigned long, int, unsigned long)>(dlsym(RTLD_DEFAULT, "XSetInputFocus"));
  ASSERT_TRUE(xDisplay && xid && focus);
  focus(xDisplay(gdk_display_get_default()), xid(gdk_get_default_root_window()), 0, 0);
  gdk_display_flush(gdk_display_get_default());
}

// The first widget under `widget` that matches, or null.
GtkWidget* Find(GtkWidget* widget, bool (*matches)(GtkWidget*)) {
  if (matches(widget) || !GTK_IS_CONTAINER(widget)) return matches(widget) ? widget : nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* child = children; child && !found; child = child->next) found = Find(GTK_WIDGET(child->data), matches);
  g_list_free(children);
  return found;
}
bool IsCloseControl(GtkWidget* w) {
  return GTK_IS_BUTTON(w) && std::string(gtk_widget_get_name(w)) == "kestrel-close";
}
bool IsWebView(GtkWidget* w) {
  return WEBKIT_IS_WEB_VIEW(w);
}

// The overlay windows that GTK shows.
std::vector<GtkWidget*> VisibleOverlays() {
  std::vector<GtkWidget*> overlays;
  GList* windows = gtk_window_list_toplevels();
  for (GList* item = windows; item; item = item->next) {
    const char* title = gtk_window_get_title(GTK_WINDOW(item->data));
    if (title && std::string(title) == "Overlay Window" && gtk_widget_get_visible(GTK_WIDGET(item->data))) {
      overlays.push_back(GTK_WIDGET(item->data));
    }
  }
  g_list_free(windows);
  return overlays;
}

// The user presses a key in the window.
void PressKey(GtkWidget* window, guint keyval) {
  GdkEvent* event = gdk_event_new(GDK_KEY_PRESS);
  event->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
  event->key.keyval = keyval;
  gdk_event_set_device(event, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_widget_event(window, event);
  gdk_event_free(event);
}

// The play callbacks, as they arrive (on this thread).
struct PlayEvents {
  std::vector<AdPlayEventArgs> start, end, click, rewarded, failure;
  bool webViewAtEnd = false;  // the creative's page still there when OnAdEnd ran

  AdPlayCallback Callback() {
    auto into = [](std::vector<AdPlayEventArgs>& list) {
      return [&list](AdPlayEventArgs args) { list.push_back(args); };
    };
    return {into(start),
            [this](AdPlayEventArgs args) {
              auto view = DisplayOverlayAdView::Current();
              webViewAtEnd = view && view->HasWebView();
              end.push_back(args);
            },
            into(click), into(rewarded), into(failure)};
  }
};

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
    KestrelSdkConfig config;
    config.ConfigBaseUrl = server->BaseUrl();
    bool initialized = false;
    auto future = KestrelAds::InitializeAsync("e2e-app", config, window, {[&](auto) { initialized = true; }, {}});
    ASSERT_TRUE(PumpUntil([&] { return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    ads = future.get();
    ASSERT_TRUE(ads && initialized);
  }

  void TearDown() override {
    SdkState::Reset();
    PlatformServices::SetUrlOpener(nullptr);
    if (window) gtk_widget_destroy(window);
    Pump();
  }

  bool Load(const std::string& placement) {
    bool loaded = false;
    return ads->LoadAd(placement, {[&](AdLoadEventArgs) { loaded = true; }, {}}) && PumpUntil([&] { return loaded; });
  }
  // Waits, pumping, until the server has recorded that many requests under the path.
  bool Hits(const std::string& path, std::size_t count) {
    return PumpUntil([&] { return server->Requests(path).size() >= count; });
  }
  // Runs a script in the ad's page; its result as JSON, "<failed>" if it did not run.
  json Eval(const std::string& script) {
    json result = "<failed>";
    bool done = false;
    if (auto view = DisplayOverlayAdView::Current()) {
      view->ExecuteScript(script, [&](int error, const std::string& text) {
        if (error == 0) result = text.empty() ? json() : json::parse(text, nullptr, false);
        done = true;
      });
      PumpUntil([&] { return done; });
    }
    return result;
  }
  bool EvalUntil(const std::string& script, const json& wanted) {
    return PumpUntil([&] { return Eval(script) == wanted; });
  }
  std::string Text(const std::string& id) {
    const json text = Eval("document.getElementById('" + id + "').textContent");
    return text.is_string() ? text.get<std::string>() : text.dump();
  }
  void Click(const std::string& id) { EXPECT_EQ(Eval("document.getElementById('" + id + "').click(); 1"), 1) << id; }

  test::ScopedDataHome dataHome;
  GtkWidget* window = nullptr;
  std::shared_ptr<test::RecordingUrlOpener> opener = std::make_shared<test::RecordingUrlOpener>();
  std::unique_ptr<adserver::LocalAdServer> server;
  KestrelAds* ads = nullptr;
  PlayEvents events;
};

// Each row plays one ad to its end: the creative's own close, the SDK's control
// or Escape (after the grace period, not before), or a failure within the SDK's
// limit, with one callback; after each creative of the server's shelf the
// publisher's window is free again and the sample ad plays.
TEST_F(PlayAdEndToEndTest, EveryPlayEndsWithOneCallbackAndLeavesThePublisherFree) {
  enum class Ending { CreativeCloses, ControlClicked, EscapePressed, Fails, ShowsNothing };
  KestrelAdPlayInfo info;
  const LogCapture* log = nullptr;  // the row's
  std::size_t opensBefore = 0, impressions = 0, clicks = 0;
  std::pair<std::int64_t, std::int64_t> firstClose;  // epoch milliseconds around the first play's close
  auto opened = [&] { return opener->Urls().size() - opensBefore; };
  auto settings = [] { return ControllerRegistry::GetPersistentSettingsController(); };
  const std::string unknown = "Unknown Command received from Creative bridge: ";
  const std::string title = "Donn\u00e9es \u2713 \u4e2a\u4eba \U0001F512";
  // clang-format off
  const struct {
    const char* creative;  // from the server's shelf; empty for its sample ad
    const char* placement;
    std::function<void()> play;        // instead of loading and playing the placement
    std::function<void()> duringPlay;  // before the ending
    Ending ending;
    std::function<void(Clock::duration played)> check;  // after it
  } rows[] = {
    // A play's tracking hits wait only for its own: the first play's stalled impression holds none of
    // the second's, and each hit carries the time of its event (the first row: no hit is in flight).
    {"", "interstitial", [&] {
      server->SetFault("tpat=delay,delay_ms=60000,count=1");
      ASSERT_TRUE(Load("interstitial"));
      ASSERT_TRUE(ads->PlayAd("interstitial", events.Callback()).Success);
      ASSERT_TRUE(Hits("/tpat/impression", 1));
      firstClose = {test::EpochMs(), 0};
      Click("close");
      ASSERT_TRUE(PumpUntil([&] { return events.end.size() == 1; }));
      firstClose.second = test::EpochMs();
      events = {};
      ASSERT_TRUE(Load("interstitial"));
      info = ads->PlayAd("interstitial", events.Callback());
    }, [&] {
      ASSERT_TRUE(PumpUntil([&] { return server->Requests("/tpat/partner/impression").size() == 1; }));
      EXPECT_EQ(server->Requests("/tpat/partner/impression")[0].Param("ev"), info.EventId);
      const auto held = server->Requests("/tpat/impression");
      ASSERT_EQ(held.size(), 2u);
      EXPECT_EQ(held[0].status, 0);  // still held
      EXPECT_EQ(held[1].Param("ev"), info.EventId);
      EXPECT_TRUE(server->Requests("/tpat/close").empty());
      server->ReleaseDelays();
      ASSERT_TRUE(Hits("/tpat/close", 1));
      const std::int64_t closedAt = test::StampMs(server->Requests("/tpat/close")[0].Param("ts"));
      EXPECT_TRUE(closedAt >= firstClose.first - 100 && closedAt <= firstClose.second + 100)
          << closedAt << " for a close between " << firstClose.first << " and " << firstClose.second;
      server->ClearFaults();
    }, Ending::CreativeCloses, {}},
    {"", "interstitial", {}, [&] {
      EXPECT_TRUE(info.Success);
      EXPECT_EQ(events.start[0].Message, "interstitialAd started successfully.");
      EXPECT_EQ(events.start[0].EventId, info.EventId);
      // The properties came before the ready event, the replacements with it.
      EXPECT_EQ(Text("status"), "placement interstitial \u00b7 interstitial \u00b7 asoi off");
      EXPECT_EQ(Text("title"), "Kestrel sample ad");
      EXPECT_EQ(Eval("tovane.mraidBridgeExt.getReplacementTokens().EVENT_ID"), json(info.EventId));
      // The tracking URLs reached the server with their macros filled in.
      const auto hit = server->Requests("/tpat/impression").back();
      EXPECT_EQ(hit.Param("ev"), info.EventId);
      EXPECT_FALSE(hit.Param("ts").empty());
      EXPECT_TRUE(hit.query.find("%timestamp%") == std::string::npos && hit.query.find("{{{") == std::string::npos);
      EXPECT_TRUE(Hits("/tpat/partner/impression", 1));
      ASSERT_TRUE(PumpUntil([&] { return events.rewarded.size() == 1; }));
      EXPECT_EQ(events.rewarded[0].Message, "Rewarded ad viewed.");
      EXPECT_TRUE(Hits("/tpat/successful_view", 1));
    }, Ending::CreativeCloses, [&](Clock::duration) {
      EXPECT_TRUE(events.webViewAtEnd);  // the publisher hears of the end while the page is there
      EXPECT_TRUE(events.click.empty());
      EXPECT_EQ(log->CountStartingWith(unknown), 0);  // nothing the bridge did not understand
    }},
    // The creative opens the advertiser's page: a click, and the ad stays up.
    {"", "interstitial", {}, [&] {
      Click("cta");
      ASSERT_TRUE(PumpUntil([&] { return events.click.size() == 1 && opener->Urls().size() == 1; }));
      EXPECT_EQ(events.click[0].Message, "Ad Clicked.");
      EXPECT_EQ(opener->Urls()[0], "https://www.example.com/kestrel-demo?placement=interstitial");
      EXPECT_TRUE(Hits("/tpat/click", 1));
      EXPECT_NE(DisplayOverlayAdView::Current(), nullptr);
    }, Ending::CreativeCloses, {}},
    // The page's origin has the bundle's files and nothing else; no camera or microphone either,
    // even from an embedding that would grant them.
    {"", "interstitial", {}, [&] {
      for (const auto& entry : fs::recursive_directory_iterator(dataHome.Path())) {
        const fs::path folder = entry.path().parent_path();
        if (entry.path().filename() != "creative.js") continue;
        std::ofstream(folder / "caf\u00e9 x.CSS") << "b {}";
        std::ofstream(folder.parent_path() / "outside.txt") << "not the ad's";
        fs::create_symlink(folder.parent_path() / "outside.txt", folder / "out.txt");
      }
      for (const auto& [path, answer] : std::vector<std::pair<std::string, std::string>>{
               {"caf%C3%A9%20x.CSS?v=2", "200 text/css"}, {"../outside.txt", "404"}, {"%2e%2e/outside.txt", "404"},
               {"%2e%2e%2foutside.txt", "404"}, {"images/..%2F..%2Foutside.txt", "404"}, {"out.txt", "404"},
               {"images/", "404"}, {"creative.js%00.txt", "404"}, {"missing.js", "404"}}) {
        Eval("window.answer = null; fetch('" + path + "').then(r => { window.answer = r.status === 200 ? '200 ' + "
             "r.headers.get('content-type') : String(r.status); }, e => { window.answer = e.name; }); 1");
        EXPECT_TRUE(PumpUntil([&] { return !Eval("window.answer").is_null(); }));
        EXPECT_EQ(Eval("window.answer"), answer) << path;
      }
      auto* view = WEBKIT_WEB_VIEW(Find(VisibleOverlays().at(0), IsWebView));
      webkit_settings_set_enable_mock_capture_devices(webkit_web_view_get_settings(view), TRUE);
      const gulong grant = g_signal_connect(view, "permission-request",
          G_CALLBACK(+[](WebKitWebView*, WebKitPermissionRequest* asked, gpointer) {
            webkit_permission_request_allow(asked);
            return TRUE;
          }), nullptr);
      for (const std::string constraints : {"{video: true}", "{audio: true}"}) {
        Eval("window.media = 'asking'; navigator.mediaDevices.getUserMedia(" + constraints +
             ").then(() => { window.media = 'granted'; }, (e) => { window.media = e.name; }); 1");
        EXPECT_TRUE(PumpUntil([&] { return Eval("window.media") != "asking"; }));
        EXPECT_EQ(Eval("window.media"), "NotAllowedError") << constraints;
      }
      g_signal_handler_disconnect(view, grant);
    }, Ending::CreativeCloses, {}},
    // Text outside ASCII crosses the bridge intact; stray messages and the page's errors are logged.
    {"", "interstitial", [&] {
      ControllerRegistry::GetGdprController()->SetConsentTitleText(title);
      ASSERT_TRUE(Load("interstitial"));
      info = ads->PlayAd("interstitial", events.Callback(), {});
    }, [&] {
      EXPECT_EQ(Text("consent-title"), title);
      for (const auto& entry : fs::recursive_directory_iterator(dataHome.Path())) {
        if (entry.path().filename() == "creative.js") std::ofstream(entry.path().parent_path() / "throws.js") << "\n x();";
      }
      Eval("window.chrome.webview.postMessage('caf\u00e9 \u2713'); Promise.reject('refused'); "
           "var s = document.createElement('script'); s.src = 'throws.js'; document.head.appendChild(s); 1");
      const std::string page = Eval("location.href").get<std::string>();
      EXPECT_TRUE(PumpUntil([&] { return log->CountStartingWith(unknown) == 3; }));
      EXPECT_EQ(log->Count(unknown + "caf\u00e9 \u2713", LogLevel::Error), 1);
      EXPECT_EQ(log->Count(unknown + "JS_KE_PROMISE_ERROR:refused", LogLevel::Error), 1);
      // The creative's own errors come with their message, file and line.
      EXPECT_EQ(log->CountStartingWith(unknown + "JS_KE_ERROR:ReferenceError: Can't find variable: x at " +
                                       page.substr(0, page.rfind('/') + 1) + "throws.js:2:"), 1);
    }, Ending::CreativeCloses, {}},
    // The creative's consent answer is stored as the dialog's.
    {"", "interstitial", {}, [&] {
      EXPECT_EQ(Eval("mraid.getConsentRequired()"), "true");
      EXPECT_TRUE(settings()->GetWatchForGDPRTimeout());
      Click("consent-accept");
      ASSERT_TRUE(PumpUntil([&] { return settings()->GetGdprConsentStatus() == Number(GdprController::kOptedIn); }));
      EXPECT_EQ(settings()->GetGdprConsentSource(), Number(GdprController::kSourceDialog));
      EXPECT_FALSE(settings()->GetWatchForGDPRTimeout());
      EXPECT_TRUE(Hits("/tpat/consent", 1));
    }, Ending::CreativeCloses, {}},
    // A command the SDK refuses is answered: the creative hears why, and the close queued behind it runs.
    {"", "interstitial", {}, [&] {
      EXPECT_EQ(Eval("mraid.addEventListener('error', function (message, action) { "
                     "window.chrome.webview.postMessage('heard ' + action + ': ' + message.replace(/\"/g, \"'\")); }); "
                     "mraid.open('https://www.example.com/?q=' + 'a'.repeat(9000)); 1"), 1);
    }, Ending::CreativeCloses, [&](Clock::duration) {
      EXPECT_EQ(log->Count(unknown + "heard open: The SDK refused the 'open' command: it is longer than 8192 bytes.",
                           LogLevel::Error), 1);
      EXPECT_TRUE(events.click.empty());
    }},
    // A long run of commands, past the caps when the page is fast: the command behind it still runs.
    {"", "rewarded_video", {}, [&] {
      ASSERT_TRUE(PumpUntil([&] { return events.rewarded.size() == 1; }));
      Eval("for (var i = 0; i < 300; i++) tovane.mraidBridgeExt.notifyUserInteraction('k', i); "
           "tovane.mraidBridgeExt.notifySuccessfulViewAd(); 1");
      EXPECT_TRUE(PumpUntil([&] { return events.rewarded.size() == 2; }));
    }, Ending::CreativeCloses, {}},
    // The creative lays itself out for the overlay from the ready event on, and sets its expand size.
    {"", "interstitial", [&] {
      ASSERT_TRUE(Load("interstitial"));
      for (const auto& entry : fs::recursive_directory_iterator(dataHome.Path())) {
        if (entry.path().filename() != "creative.js") continue;
        std::ofstream(entry.path(), std::ios::app)
            << "\nmraid.addEventListener('ready', function () { window.readySize = mraid.getScreenSize();"
               " window.sizes = []; mraid.addEventListener('sizeChange', function (w, h) { sizes.push([w, h]); }); });";
      }
      info = ads->PlayAd("interstitial", events.Callback(), {});
    }, [&] {
      gint width = 0, height = 0;
      gtk_window_get_size(GTK_WINDOW(VisibleOverlays().at(0)), &width, &height);
      const json size{std::to_string(width), std::to_string(height)};
      EXPECT_TRUE(EvalUntil("window.sizes && sizes.length > 0 && sizes[sizes.length - 1]", size));
      EXPECT_EQ(Eval("[readySize.width, readySize.height]"), size);
      EXPECT_EQ(Eval("mraid.setExpandProperties({width: 320, height: 480}); "
                     "[mraid.getExpandProperties().width, mraid.getExpandProperties().height]"), json({320, 480}));
      EXPECT_EQ(log->CountStartingWith("*****Receive script notify: mraid://error"), 0);
    }, Ending::CreativeCloses, {}},
    // A pop-up the user asks for opens as "open" does.
    {"", "interstitial", {}, [&] {
      Eval("document.addEventListener('keydown', function (e) {"
           " if (e.key === 'Enter') window.open('https://www.example.com/asked?a=1&b=%C3%A9', '_blank'); }); 1");
      PressKey(VisibleOverlays().at(0), GDK_KEY_Return);
      EXPECT_TRUE(PumpUntil([&] { return events.click.size() == 1 && opened() == 1; }));
      EXPECT_EQ(opener->Urls().back(), "https://www.example.com/asked?a=1&b=%C3%A9");
    }, Ending::CreativeCloses, {}},
    // Only the first navigation counts: a reloaded page has the bridge but hears nothing more.
    {"", "interstitial", {}, [&] {
      Eval("window.firstDocument = true; location.reload(); 1");
      EXPECT_TRUE(EvalUntil("document.readyState == 'complete' && !window.firstDocument && mraid.getState()", "loading"));
      EXPECT_EQ(Eval("mraid.getPlacementType()"), "unknown");
      EXPECT_EQ(server->Requests("/tpat/impression").size(), impressions + 1);
    }, Ending::ControlClicked, {}},
    // The overlay and the creative follow the publisher window's size and focus.
    {"", "interstitial", {}, [&] {
      gtk_window_resize(GTK_WINDOW(window), 500, 300);
      EXPECT_TRUE(EvalUntil("mraid.getMaxSize()", json{{"width", "500"}, {"height", "300"}}));
      EXPECT_EQ(Eval("mraid.getCurrentPosition()"), (json{{"height", "300"}, {"width", "500"}, {"x", "0"}, {"y", "0"}}));
      gint width = 0, height = 0;
      EXPECT_TRUE(PumpUntil([&] {
        gtk_window_get_size(GTK_WINDOW(VisibleOverlays().at(0)), &width, &height);
        return width == 500 && height == 300;
      }));
      gtk_window_resize(GTK_WINDOW(window), 640, 480);
      // Xvfb has no window manager: nothing has the focus until the publisher takes it.
      gtk_window_present(GTK_WINDOW(window));
      EXPECT_TRUE(PumpUntil([&] { return gtk_window_is_active(GTK_WINDOW(window)); }));
      EXPECT_EQ(Eval("mraid.isViewable()"), true);
      FocusNothing();
      EXPECT_TRUE(EvalUntil("mraid.isViewable()", false));
      gtk_window_present(GTK_WINDOW(window));
      EXPECT_TRUE(EvalUntil("mraid.isViewable()", true));
    }, Ending::CreativeCloses, {}},
    // A play off the window's thread, for a widget that is not a window, or while an ad is on
    // screen fails and spends nothing; the ad on screen keeps its own callbacks.
    {"", "interstitial", [&] {
      ASSERT_TRUE(Load("interstitial"));
      std::async(std::launch::async, [&] { return ads->PlayAd("interstitial", events.Callback()); }).get();
      GtkWidget* button = GTK_WIDGET(g_object_ref_sink(gtk_button_new()));
      AdConfig config;
      config.Window = button;
      EXPECT_FALSE(ads->PlayAd("interstitial", events.Callback(), config).Success);
      g_object_unref(button);
      Pump();
      EXPECT_TRUE(VisibleOverlays().empty());
      EXPECT_TRUE(events.start.empty());
      ASSERT_EQ(events.failure.size(), 2u);
      EXPECT_EQ(events.failure[0].Message, "The ad could not be shown: PlayAd must be called on the thread that "
                                           "runs the publisher window's event loop.");
      EXPECT_EQ(events.failure[1].Message, "The ad could not be shown: the window handle is not a live window.");
      EXPECT_TRUE(ads->IsAdPlayable("interstitial"));
      EXPECT_EQ(server->Requests("/tpat/impression").size(), impressions);
      events = {};
      info = ads->PlayAd("interstitial", events.Callback());
    }, [&] {
      PlayEvents second;
      EXPECT_FALSE(ads->PlayAd("rewarded_video", second.Callback()).Success);
      ASSERT_EQ(second.failure.size(), 1u);
      EXPECT_EQ(second.failure[0].Message, "The ad could not be shown: another ad is on screen.");
    }, Ending::CreativeCloses, {}},
    {"navigates-away", "interstitial", {}, [&] {
      // The page outside the ad tried every channel; nothing of it was heard.
      EXPECT_TRUE(EvalUntil("document.title.indexOf('away: no bridge') === 0", true));
    }, Ending::ControlClicked, [&](Clock::duration) {
      EXPECT_EQ(log->CountStartingWith("A message from " + server->BaseUrl() + "/creatives/navigates-away/away.html"), 1);
      EXPECT_TRUE(events.click.empty());
      EXPECT_EQ(opened(), 0u);
    }},
    {"no-close-button", "interstitial", {}, {}, Ending::EscapePressed, {}},
    {"no-close-button", "rewarded_video", {}, {}, Ending::ControlClicked, [&](Clock::duration) {
      EXPECT_EQ(events.rewarded.size(), 1u);
    }},
    {"throws-at-load", "interstitial", {}, {}, Ending::EscapePressed, [&](Clock::duration) {
      EXPECT_EQ(log->CountStartingWith(unknown + "JS_KE_ERROR:TypeError"), 1);
    }},
    {"never-ready", "interstitial", {}, {}, Ending::Fails, {}},
    {"endless-loop", "interstitial", {}, {}, Ending::Fails, {}},
    // The page's process ends, as in a crash.
    {"no-close-button", "interstitial", {}, [&] {
      ASSERT_TRUE(EvalUntil("document.readyState", "complete"));
      webkit_web_view_terminate_web_process(WEBKIT_WEB_VIEW(Find(VisibleOverlays().at(0), IsWebView)));
    }, Ending::Fails, [&](Clock::duration) {
      EXPECT_NE(events.failure.at(0).Message.find("web process"), std::string::npos) << events.failure[0].Message;
    }},
    {"floods-messages", "interstitial", {}, [&] {
      EXPECT_TRUE(PumpUntil([&] { return server->Requests("/tpat/click").size() >= clicks + 50; }));
    }, Ending::ControlClicked, [&](Clock::duration) {
      EXPECT_EQ(log->CountStartingWith("The creative sends more than"), 1);
      EXPECT_EQ(log->CountStartingWith("The creative sent more than"), 1);
      EXPECT_LE(server->Requests("/tpat/click").size(), clicks + 50);
    }},
    {"huge-message", "interstitial", {}, {}, Ending::EscapePressed, [&](Clock::duration) {
      EXPECT_EQ(log->CountStartingWith("A message of "), 1);
    }},
    {"opens-in-a-loop", "interstitial", {}, [&] {
      EXPECT_TRUE(PumpUntil([&] { return opened() >= 2; }));
    }, Ending::ControlClicked, [&](Clock::duration played) {
      EXPECT_LE(opened(), 1 + static_cast<std::size_t>(played / DisplayAdController::kOpenInterval));
      EXPECT_EQ(events.click.size(), opened());
      EXPECT_EQ(log->CountStartingWith("The creative opens urls faster than"), 1);
    }},
    // The ad outlives a publisher window destroyed under it (the last row: it takes the window).
    {"", "interstitial", {}, [&] {
      gtk_widget_destroy(window);
      window = nullptr;
      Pump();
      EXPECT_EQ(Eval("mraid.getState()"), "default");
    }, Ending::CreativeCloses, {}},
  };
  // clang-format on
  for (const auto& row : rows) {
    SCOPED_TRACE("row " + std::to_string(&row - rows) + ": " + row.creative + " on " + row.placement);
    const LogCapture rowLog;
    log = &rowLog;
    events = {};
    opensBefore = opener->Urls().size();
    server->ChooseCreative(row.creative);
    impressions = server->Requests("/tpat/impression").size();
    clicks = server->Requests("/tpat/click").size();
    const std::size_t closes = server->Requests("/tpat/close").size();
    const auto started = Clock::now();
    if (row.play) {
      row.play();
    } else {
      ASSERT_TRUE(Load(row.placement));
      info = ads->PlayAd(row.placement, events.Callback(), {});
    }
    if (row.ending != Ending::ShowsNothing) {
      ASSERT_EQ(events.start.size(), 1u);
      EXPECT_EQ(VisibleOverlays().size(), 1u);
      if (!*row.creative) {
        ASSERT_TRUE(Hits("/tpat/impression", impressions + 1));  // the sample ad runs
      }
    }
    if (row.duringPlay) row.duringPlay();

    const auto slack = std::chrono::seconds(10);
    if (row.ending == Ending::Fails) {
      EXPECT_TRUE(PumpUntil([&] { return !events.failure.empty(); }, DisplayOverlayAdView::kReadyTimeout + slack));
      EXPECT_EQ(events.failure.size(), 1u);
      EXPECT_TRUE(events.end.empty());
    } else if (row.ending != Ending::ShowsNothing) {
      if (row.ending == Ending::CreativeCloses) {
        Click("close");
      } else {
        GtkWidget* control = nullptr;
        ASSERT_TRUE(PumpUntil(
            [&] { return VisibleOverlays().size() == 1 && (control = Find(VisibleOverlays()[0], IsCloseControl)); },
            DisplayOverlayAdView::kCloseControlGrace + slack));
        EXPECT_GE(Clock::now() - started, DisplayOverlayAdView::kCloseControlGrace - std::chrono::seconds(1));
        if (row.ending == Ending::EscapePressed) {
          PressKey(VisibleOverlays()[0], GDK_KEY_Escape);
        } else {
          gtk_button_clicked(GTK_BUTTON(control));
        }
      }
      ASSERT_TRUE(PumpUntil([&] { return !events.end.empty(); }));
      EXPECT_EQ(events.end.size(), 1u);
      EXPECT_EQ(events.end[0].Message, "Ad Closed.");
      EXPECT_TRUE(events.failure.empty());
      EXPECT_TRUE(Hits("/tpat/close", closes + 1));  // the SDK's control tracks as the creative's own close
    }
    const auto played = Clock::now() - started;
    EXPECT_TRUE(PumpUntil([&] { return VisibleOverlays().empty() && !DisplayOverlayAdView::Current(); }));
    if (row.check) row.check(played);
    if (!*row.creative || !window) continue;
    if (std::string(row.placement) != "rewarded_video") {
      EXPECT_TRUE(events.rewarded.empty());
    }

    // The publisher's window takes the keyboard again, and the sample ad plays next.
    int keys = 0;
    const gulong handler =
        g_signal_connect(window, "key-press-event", G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer count) {
                           ++*static_cast<int*>(count);
                           return FALSE;
                         }),
                         &keys);
    PressKey(window, GDK_KEY_a);
    g_signal_handler_disconnect(window, handler);
    EXPECT_EQ(keys, 1);
    server->ChooseCreative("");
    events = {};
    ASSERT_TRUE(Load("interstitial"));
    const std::size_t before = server->Requests("/tpat/impression").size();
    ads->PlayAd("interstitial", events.Callback(), {});
    ASSERT_TRUE(Hits("/tpat/impression", before + 1));
    EXPECT_EQ(Text("title"), "Kestrel sample ad");
    Click("close");
    EXPECT_TRUE(PumpUntil([&] { return events.end.size() == 1 && events.failure.empty(); }));
  }
}

// The publisher starts the next ad from OnAdEnd: it shows, and ends with its own callbacks.
TEST_F(PlayAdEndToEndTest, APlayFromOnAdEndShows) {
  ASSERT_TRUE(Load("interstitial"));
  ASSERT_TRUE(Load("rewarded_video"));
  PlayEvents second;
  KestrelAdPlayInfo next;
  AdPlayCallback first = events.Callback();
  first.OnAdEnd = [&](AdPlayEventArgs) { next = ads->PlayAd("rewarded_video", second.Callback()); };
  ASSERT_TRUE(ads->PlayAd("interstitial", first).Success);
  ASSERT_TRUE(Hits("/tpat/impression", 1));
  Click("close");
  ASSERT_TRUE(PumpUntil([&] { return second.start.size() == 1 && VisibleOverlays().size() == 1; }));
  EXPECT_TRUE(next.Success) << next.Message;
  EXPECT_TRUE(second.failure.empty());
  ASSERT_TRUE(Hits("/tpat/impression", 2));
  Click("close");
  EXPECT_TRUE(PumpUntil([&] { return second.end.size() == 1 && VisibleOverlays().empty(); }));
  EXPECT_TRUE(events.failure.empty());
}

// Of two loaded bids, the play of the newer one's markup shows that bid's ad and fires its impressions.
TEST_F(PlayAdEndToEndTest, ABidsPlayFiresItsImpressions) {
  std::string markup;
  for (int bid = 1; bid <= 2; ++bid) {
    HttpExchange exchange{"GET", server->BaseUrl() + "/hb/markup?placement=hb_banner", "e2e", {}, {}, {}};
    markup = PlatformServices::HttpClient()->Exchange(exchange).body;
    bool loaded = false;
    ASSERT_TRUE(ads->LoadMediatedAd("hb_banner", {[&](AdLoadEventArgs) { loaded = true; }, {}}, markup));
    ASSERT_TRUE(PumpUntil([&] { return loaded; }));
  }
  const KestrelAdPlayInfo info = ads->PlayMediatedAd(AdConfig{}, "hb_banner", events.Callback(), markup);
  ASSERT_TRUE(info.Success) << info.Message;
  ASSERT_TRUE(Hits("/hb/impression", 1));
  EXPECT_EQ(server->Requests("/hb/impression")[0].Param("ev"), info.EventId);
  ASSERT_TRUE(Hits("/tpat/impression", 1));  // the creative runs, and reports the same ad
  EXPECT_EQ(server->Requests("/tpat/impression")[0].Param("ev"), info.EventId);
  Click("close");
  EXPECT_TRUE(PumpUntil([&] { return events.end.size() == 1 && VisibleOverlays().empty(); }));
}

// The engine's processes run while an ad is ready or showing and end a grace
// after neither is, the overlay's kept view with them; a play then starts them again.
TEST_F(PlayAdEndToEndTest, TheEngineRunsWhileAnAdIsReadyOrShowingAndOnlyThen) {
  constexpr auto grace = std::chrono::milliseconds(100);
  WebEngineKeeper::SetReleaseGraceForTesting(grace);
  const auto running = [] { return !test::EngineProcessesRssKb().empty(); };
  // Waits out a grace and the release check that may follow it on this thread.
  const auto graceOver = [&] {
    auto over = std::make_shared<std::atomic<bool>>(false);
    WorkQueue::Shared().PostAfter(3 * grace, [over] { RunOnWindowThread([over] { *over = true; }); });
    return PumpUntil([&] { return over->load(); });
  };
  const LogCapture log;
  WebEngineKeeper::SetAdReady(true);
  ASSERT_TRUE(PumpUntil(running));
  WebEngineKeeper::SetAdReady(false);
  ASSERT_TRUE(PumpUntil([&] { return !running(); }));
  for (int play = 1; play <= 2; ++play) {
    ASSERT_TRUE(Load("interstitial"));
    ASSERT_TRUE(ads->PlayAd("interstitial", events.Callback()).Success);
    ASSERT_TRUE(Hits("/tpat/impression", play));
    WebEngineKeeper::SetAdReady(false);
    ASSERT_TRUE(graceOver());
    EXPECT_EQ(log.CountStartingWith("No ad is ready or showing"), play);  // only the one before the play
    EXPECT_EQ(Eval("1"), 1);
    Click("close");
    ASSERT_TRUE(PumpUntil([&] { return events.end.size() == static_cast<std::size_t>(play); }));
    EXPECT_TRUE(PumpUntil([&] { return !running(); }));
  }
  EXPECT_TRUE(events.failure.empty());
}

}  // namespace
}  // namespace kestrel
