// The web view host on its own: a real GTK owner window, the overlay window
// and the real web engine, with a page of the test's making.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/IOverlayWindow.h"
#include "platform/IWebViewHost.h"
#include "platform/PlatformServices.h"
#include "support/GtkPump.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

using test::Pump;
using test::PumpUntil;

class WebViewHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("NO_AT_BRIDGE", "1", 1);  // the accessibility bridge leaks at start-up
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    owner = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(owner), 400, 300);
    gtk_widget_show(owner);
    ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(owner); }));
    overlay = CreateOverlayWindow(owner, {});
    ASSERT_NE(overlay, nullptr);
    overlay->CoverOwner();
    overlay->Show();

    folder = dir.Path() / "p\u00e1gina";
    fs::create_directories(folder);
    std::ofstream(folder / "index.html")
        << "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><script>window.pageSawEarly = window.early;</script>"
           "</head><body>caf\u00e9</body></html>";
  }

  void TearDown() override {
    host.reset();
    overlay.reset();
    if (owner) gtk_widget_destroy(owner);
    Pump();
  }

  void Open(IWebViewHost::Events events) {
    events.navigationCompleted = [this] { ++navigations; };
    std::string failure;
    host = CreateWebViewHost(*overlay, (dir.Path() / "data").string(), std::move(events), failure);
    ASSERT_NE(host, nullptr);
    host->Show();
  }

  void Navigate() {
    base = host->ServeFolder(folder.string());
    host->Navigate(base + "index.html");
    ASSERT_TRUE(PumpUntil([&] { return navigations == 1; }));
  }

  // What the page's fetch of the url brings: "200 " and the content type, the
  // status of any other answer, or the error.
  std::optional<nlohmann::json> Fetch(const std::string& url) {
    if (!Eval("window.answer = null; fetch('" + url +
              "').then(function(r) { window.answer = r.status === 200 ? "
              "'200 ' + r.headers.get('content-type') : String(r.status); }, function(e) { window.answer = e.name; });"
              " true")) {
      return std::nullopt;
    }
    std::optional<nlohmann::json> answer;
    PumpUntil([&] { return (answer = Eval("window.answer")) && !answer->is_null(); });
    return answer;
  }

  std::optional<nlohmann::json> Eval(const std::string& script) {
    std::optional<std::string> result;
    host->ExecuteScript(script, [&](int error, const std::string& json) { result = error == 0 ? json : "error"; });
    if (!PumpUntil([&] { return result.has_value(); }) || *result == "error") return std::nullopt;
    return result->empty() ? nlohmann::json() : nlohmann::json::parse(*result, nullptr, false);
  }

  test::TempDir dir;
  fs::path folder;
  GtkWidget* owner = nullptr;
  std::unique_ptr<IOverlayWindow> overlay;
  std::unique_ptr<IWebViewHost> host;
  std::string base;  // where the folder is served
  int navigations = 0;
};

TEST_F(WebViewHostTest, ScriptsRunInOrderAndPostedValuesArriveAsJson) {
  std::vector<std::string> messages;
  IWebViewHost::Events events;
  events.webMessageReceived = [&](const std::string& json) { messages.push_back(json); };
  Open(std::move(events));
  host->AddScriptToExecuteOnDocumentCreated("window.early = 'before the page';");
  Navigate();
  EXPECT_EQ(Eval("window.pageSawEarly"), nlohmann::json("before the page"));
  EXPECT_EQ(Eval("document.body.textContent"), nlohmann::json("caf\u00e9"));
  // The device section names the agent this engine sends.
  EXPECT_EQ(Eval("navigator.userAgent"), nlohmann::json(PlatformServices::SystemInfo()->UserAgent()));
  EXPECT_EQ(Eval("undefined"), nlohmann::json());

  std::vector<int> completed;
  for (int i = 0; i < 40; ++i) {
    host->ExecuteScript(
        "(window.order = window.order || []).push(" + std::to_string(i) + "); " + std::to_string(i),
        [&completed](int error, const std::string& json) { completed.push_back(error == 0 ? std::stoi(json) : -1); });
  }
  ASSERT_TRUE(PumpUntil([&] { return completed.size() == 40; }));
  std::vector<int> expected;
  for (int i = 0; i < 40; ++i) expected.push_back(i);
  EXPECT_EQ(completed, expected);
  EXPECT_EQ(Eval("window.order"), nlohmann::json(expected));
  EXPECT_NE(Eval("throw new Error('x')"), std::optional<nlohmann::json>(nlohmann::json()));

  ASSERT_TRUE(
      Eval("window.chrome.webview.postMessage('mraid://close \"\u00e9\"'); "
           "window.chrome.webview.postMessage({a: 1}); true"));
  ASSERT_TRUE(PumpUntil([&] { return messages.size() == 2; }));
  EXPECT_EQ(nlohmann::json::parse(messages[0]), nlohmann::json("mraid://close \"\u00e9\""));
  EXPECT_EQ(nlohmann::json::parse(messages[1]), (nlohmann::json{{"a", 1}}));
  EXPECT_EQ(navigations, 1);
}

TEST_F(WebViewHostTest, ReportsCameraAndMicrophoneRequestsAndDeniesThemWhenAsked) {
  std::vector<IWebViewHost::Permission> asked;
  IWebViewHost::Events events;
  events.permissionRequested = [&](IWebViewHost::Permission kind) {
    asked.push_back(kind);
    return true;
  };
  Open(std::move(events));
  // Xvfb has no camera or microphone: the engine's stand-ins take their place.
  GtkWidget* browser = gtk_bin_get_child(GTK_BIN(overlay->NativeHandle()));
  ASSERT_TRUE(WEBKIT_IS_WEB_VIEW(browser));
  webkit_settings_set_enable_mock_capture_devices(webkit_web_view_get_settings(WEBKIT_WEB_VIEW(browser)), TRUE);
  Navigate();

  for (const char* constraints : {"{video: true}", "{audio: true}"}) {
    SCOPED_TRACE(constraints);
    ASSERT_TRUE(Eval(std::string("window.media = 'asking'; navigator.mediaDevices.getUserMedia(") + constraints +
                     ").then(function() { window.media = 'granted'; },"
                     " function(e) { window.media = e.name; }); true"));
    std::optional<nlohmann::json> answer;
    EXPECT_TRUE(PumpUntil([&] {
      answer = Eval("window.media");
      return answer && *answer != nlohmann::json("asking");
    }));
    EXPECT_EQ(answer, nlohmann::json("NotAllowedError"));
  }
  EXPECT_EQ(asked, (std::vector<IWebViewHost::Permission>{IWebViewHost::Permission::Camera,
                                                          IWebViewHost::Permission::Microphone}));
}

TEST_F(WebViewHostTest, TheFolderIsServedFromAnOriginThatHasItsFilesAndNothingElse) {
  Open({});
  fs::create_directories(folder / "sub dir");
  std::ofstream(folder / "sub dir" / "caf\u00e9.CSS") << "body {}";
  std::ofstream(folder / "app.js") << "var a;";
  std::ofstream(dir.Path() / "outside.txt") << "not the ad's";
  fs::create_symlink(dir.Path() / "outside.txt", folder / "out.txt");
  fs::create_symlink(folder / "app.js", folder / "in.js");
  Navigate();
  EXPECT_EQ(Eval("window.isSecureContext"), nlohmann::json(true));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"sub%20dir/caf%C3%A9.CSS", "200 text/css"},
      {"app.js?v=2", "200 text/javascript"},
      {"in.js", "200 text/javascript"},
      {"../outside.txt", "404"},
      {"%2e%2e/outside.txt", "404"},
      {"%2e%2e%2foutside.txt", "404"},
      {"sub%20dir/..%2F..%2Foutside.txt", "404"},
      {"out.txt", "404"},
      {"sub%20dir/", "404"},
      {"app.js%00.txt", "404"},
      {"missing.js", "404"},
  };
  for (const auto& [path, expected] : cases) {
    EXPECT_EQ(Fetch(path), nlohmann::json(expected)) << path;
  }

  // An origin that is gone, and one that never was, serve nothing.
  const std::string gone = base;
  ASSERT_NE(host->ServeFolder(folder.string()), gone);
  for (const std::string& url : {gone + "index.html", std::string("kestrel-bundle://nosuch/index.html")}) {
    const int before = navigations;
    host->Navigate(url);
    ASSERT_TRUE(PumpUntil([&] { return navigations == before + 1; })) << url;
    EXPECT_EQ(Eval("document.documentElement.textContent"), nlohmann::json("")) << url;
  }
}

TEST_F(WebViewHostTest, AWebProcessThatEndsIsReportedAsAFailure) {
  std::vector<std::string> failures;
  IWebViewHost::Events events;
  events.failed = [&](const std::string& reason) {
    failures.push_back(reason);
    host.reset();  // as a play that ends does
  };
  Open(std::move(events));
  Navigate();
  webkit_web_view_terminate_web_process(WEBKIT_WEB_VIEW(gtk_bin_get_child(GTK_BIN(overlay->NativeHandle()))));
  ASSERT_TRUE(PumpUntil([&] { return !failures.empty(); }));
  EXPECT_EQ(failures, std::vector<std::string>{"the browser's web process was terminated by the host."});
}

}  // namespace
}  // namespace kestrel
