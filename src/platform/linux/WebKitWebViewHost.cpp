#include <gtk/gtk.h>
#include <malloc.h>
#include <webkit2/webkit2.h>

#include <memory>
#include <string>
#include <utility>

#include "base/Guarded.h"
#include "base/Log.h"
#include "platform/Backend.h"
#include "platform/linux/BundleOrigin.h"
#include "platform/linux/GtkOverlayWindow.h"
#include "platform/linux/GtkThread.h"
#include "platform/linux/WebEngineUserAgent.h"

namespace kestrel {
namespace {

constexpr const char* kMessageChannel = "kestrelHost";

// Gives pages the channel they post through, on top of WebKit's message channel.
const std::string kPostMessageShim =
    "(function(path) {"
    "  var handler = window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.kestrelHost;"
    "  if (!handler) return;"
    "  var channel = window;"
    "  path.split('.').forEach(function(name) { channel = channel[name] = channel[name] || {}; });"
    "  channel.postMessage = function(message) { handler.postMessage(message); };"
    "})('" +
    std::string(kWebMessageChannel) + "');";

// What pages store for their origin.
constexpr auto kPageStorage = static_cast<WebKitWebsiteDataTypes>(
    WEBKIT_WEBSITE_DATA_LOCAL_STORAGE | WEBKIT_WEBSITE_DATA_SESSION_STORAGE | WEBKIT_WEBSITE_DATA_INDEXEDDB_DATABASES |
    WEBKIT_WEBSITE_DATA_DOM_CACHE | WEBKIT_WEBSITE_DATA_SERVICE_WORKER_REGISTRATIONS |
    WEBKIT_WEBSITE_DATA_OFFLINE_APPLICATION_CACHE);

// One browser context per user-data folder, kept until the engine is
// released: each context runs processes of its own.
struct SharedContext {
  WebKitWebContext* context = nullptr;
  std::string folder;
};

SharedContext& Shared() {
  static auto* shared = new SharedContext();
  return *shared;
}

WebKitWebContext* ContextFor(const std::string& userDataFolder) {
  WebKitWebContext*& context = Shared().context;
  std::string& folder = Shared().folder;
  if (context && folder == userDataFolder) return context;
  if (context) g_object_unref(context);
  const std::string cache = userDataFolder + "/Cache";
  WebKitWebsiteDataManager* data = webkit_website_data_manager_new("base-data-directory", userDataFolder.c_str(),
                                                                   "base-cache-directory", cache.c_str(), nullptr);
  context = webkit_web_context_new_with_website_data_manager(data);
  g_object_unref(data);
  webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
  BundleOrigin::RegisterScheme(context);
  folder = userDataFolder;
  return context;
}

// A hidden view per context, kept until the engine is released: every ad's view
// shares its web process instead of starting one of its own, so only the
// first play of a process waits for the engine to start. It never shows
// anything but a blank page: no ad runs before its play.
WebKitWebView*& Engine() {
  static WebKitWebView* engine = nullptr;
  return engine;
}

// The next play starts a new engine; the old view goes once the main loop is back.
void ForgetEngine() {
  WebKitWebView* old = std::exchange(Engine(), nullptr);
  if (!old) return;
  g_idle_add(
      [](gpointer view) -> gboolean {
        g_object_unref(view);
        return G_SOURCE_REMOVE;
      },
      old);
}

WebKitWebView* EngineFor(WebKitWebContext* context) {
  WebKitWebView*& engine = Engine();
  if (engine && webkit_web_view_get_context(engine) == context) return engine;
  if (engine) g_object_unref(engine);
  engine = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, nullptr));
  g_object_ref_sink(engine);
  RememberWebEngineUserAgent(webkit_settings_get_user_agent(webkit_web_view_get_settings(engine)));
  // Its process may end under it (a crash, or a page ended for hanging).
  g_signal_connect(engine, "web-process-terminated", G_CALLBACK(+[](WebKitWebView* view, gint, gpointer) {
                     if (Engine() == view) ForgetEngine();
                   }),
                   nullptr);
  webkit_web_view_load_uri(engine, "about:blank");
  return engine;
}

// The view of the last play, left in its window (which the overlay keeps) for
// the next play: WebKitGTK keeps some 20 KB of every view it has made, so a
// process that plays for hours shows all its ads in one view.
struct SpareView {
  WebKitWebView* view = nullptr;
  WebKitUserContentManager* content = nullptr;
};

SpareView& Spare() {
  static SpareView spare;
  return spare;
}

void DropSpare() {
  SpareView& spare = Spare();
  if (spare.view) g_object_unref(std::exchange(spare.view, nullptr));
  if (spare.content) g_object_unref(std::exchange(spare.content, nullptr));
}

// The JSON text of a script value; empty for undefined.
std::string ToJson(JSCValue* value) {
  if (!value || jsc_value_is_undefined(value)) return {};
  gchar* json = jsc_value_to_json(value, 0);
  std::string text = json ? json : "null";
  g_free(json);
  return text;
}

// Hosts alive: the engine is not released under one.
int& LiveHosts() {
  static int live = 0;
  return live;
}

class WebKitWebViewHost : public IWebViewHost {
 public:
  WebKitWebViewHost(GtkContainer* window, const std::string& userDataFolder, Events events)
      : m_events(std::move(events)) {
    ++LiveHosts();
    WebKitWebContext* context = ContextFor(userDataFolder);
    SpareView& spare = Spare();
    const bool reuse = spare.view && webkit_web_view_get_context(spare.view) == context &&
                       gtk_widget_get_parent(GTK_WIDGET(spare.view)) == GTK_WIDGET(window);
    if (reuse) {
      m_view = std::exchange(spare.view, nullptr);
      m_content = std::exchange(spare.content, nullptr);
    } else {
      DropSpare();
      // A browser left in a kept window by an earlier play goes now.
      if (GTK_IS_BIN(window)) {
        if (GtkWidget* old = gtk_bin_get_child(GTK_BIN(window))) gtk_widget_destroy(old);
      }
      m_content = webkit_user_content_manager_new();
      WebKitSettings* settings = webkit_settings_new();
      webkit_settings_set_enable_developer_extras(settings, FALSE);
      // Pages may ask for the camera and the microphone; the host decides.
      webkit_settings_set_enable_media_stream(settings, TRUE);
      // The related view shares its web process and brings its context; WebKit refuses both at once.
      m_view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", EngineFor(context),
                                            "user-content-manager", m_content, "settings", settings, nullptr));
      g_object_unref(settings);
      g_object_ref_sink(m_view);
      const GdkRGBA black{0, 0, 0, 1};
      webkit_web_view_set_background_color(m_view, &black);
    }

    webkit_user_content_manager_register_script_message_handler(m_content, kMessageChannel);
    AddScriptToExecuteOnDocumentCreated(kPostMessageShim);
    m_messageHandler =
        g_signal_connect(m_content, "script-message-received::kestrelHost", G_CALLBACK(OnScriptMessage), this);
    m_loadHandler = g_signal_connect(m_view, "load-changed", G_CALLBACK(OnLoadChanged), this);
    m_permissionHandler = g_signal_connect(m_view, "permission-request", G_CALLBACK(OnPermissionRequest), this);
    m_menuHandler = g_signal_connect(m_view, "context-menu", G_CALLBACK(OnContextMenu), nullptr);
    m_createHandler = g_signal_connect(m_view, "create", G_CALLBACK(OnCreate), this);
    m_terminatedHandler = g_signal_connect(m_view, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), this);
    if (!reuse) gtk_container_add(window, GTK_WIDGET(m_view));
  }

  ~WebKitWebViewHost() override {
    --LiveHosts();
    // Each play's page has an origin of its own, so what it stored is of no
    // further use; kept, it would add folders to the data folder with every ad.
    webkit_website_data_manager_clear(webkit_web_view_get_website_data_manager(m_view), kPageStorage, 0, nullptr,
                                      nullptr, nullptr);
    g_cancellable_cancel(m_cancellable);
    g_object_unref(m_cancellable);
    g_signal_handler_disconnect(m_content, m_messageHandler);
    g_signal_handler_disconnect(m_view, m_loadHandler);
    g_signal_handler_disconnect(m_view, m_permissionHandler);
    g_signal_handler_disconnect(m_view, m_menuHandler);
    g_signal_handler_disconnect(m_view, m_createHandler);
    if (m_terminatedHandler != 0) g_signal_handler_disconnect(m_view, m_terminatedHandler);
    webkit_user_content_manager_unregister_script_message_handler(m_content, kMessageChannel);
    webkit_user_content_manager_remove_all_scripts(m_content);
    // A view still in its window, with its page's process alive, stays there
    // for the next play, which the window is kept for.
    if (gtk_widget_get_parent(GTK_WIDGET(m_view)) && !m_processEnded && !Spare().view) {
      webkit_web_view_load_uri(m_view, "about:blank");  // the ad stops here
      Spare() = {m_view, m_content};
      return;
    }
    // The window still holds the browser; it goes with the window.
    g_object_unref(m_view);
    g_object_unref(m_content);
  }

  WebKitWebViewHost(const WebKitWebViewHost&) = delete;
  WebKitWebViewHost& operator=(const WebKitWebViewHost&) = delete;

  std::string BrowserVersion() const override {
    return std::to_string(webkit_get_major_version()) + "." + std::to_string(webkit_get_minor_version()) + "." +
           std::to_string(webkit_get_micro_version());
  }

  void AddScriptToExecuteOnDocumentCreated(const std::string& script) override {
    WebKitUserScript* userScript =
        webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(m_content, userScript);
    webkit_user_script_unref(userScript);
  }

  std::string ServeFolder(const std::string& folder) override {
    m_origin.reset();
    m_origin = std::make_unique<BundleOrigin>(folder);
    return m_origin->BaseUrl();
  }

  void Navigate(const std::string& url) override { webkit_web_view_load_uri(m_view, url.c_str()); }

  void ExecuteScript(const std::string& script, ScriptCompleted completed) override {
    if (!completed) {
      webkit_web_view_evaluate_javascript(m_view, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                          m_cancellable, nullptr, nullptr);
      return;
    }
    webkit_web_view_evaluate_javascript(m_view, script.data(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                        m_cancellable, OnScriptDone, new ScriptCompleted(std::move(completed)));
  }

  void Show() override {
    gtk_widget_show(GTK_WIDGET(m_view));
    MoveFocus();
  }

  void MoveFocus() override { gtk_widget_grab_focus(GTK_WIDGET(m_view)); }

  void Stop() override { webkit_web_view_stop_loading(m_view); }

  void EndPageProcess() override {
    if (m_terminatedHandler != 0) g_signal_handler_disconnect(m_view, m_terminatedHandler);
    m_terminatedHandler = 0;
    m_processEnded = true;
    LogWarn("Ending the web process of a page that does not answer.");
    // Every ad's page shares the engine's process: the next play starts a new engine.
    ForgetEngine();
    webkit_web_view_terminate_web_process(m_view);
  }

  void SaveSnapshot(const std::string& pngPath, std::function<void(bool saved)> done) override {
    struct Request {
      std::string path;
      std::function<void(bool)> done;
    };
    webkit_web_view_get_snapshot(
        m_view, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, m_cancellable,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          std::unique_ptr<Request> request(static_cast<Request*>(data));
          GError* error = nullptr;
          cairo_surface_t* surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, &error);
          if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED)) {
            g_error_free(error);
            return;
          }
          bool saved = false;
          if (surface) {
            saved = cairo_surface_write_to_png(surface, request->path.c_str()) == CAIRO_STATUS_SUCCESS;
            cairo_surface_destroy(surface);
          }
          if (!saved) LogError("Could not save a snapshot of the ad to " + request->path);
          g_clear_error(&error);
          if (request->done) request->done(saved);
        },
        new Request{pngPath, std::move(done)});
  }

 private:
  static void OnScriptDone(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<ScriptCompleted> completed(static_cast<ScriptCompleted*>(data));
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (error) {
      // A cancelled script belongs to a host that is gone.
      if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        (*completed)(error->code != 0 ? error->code : -1, {});
      g_error_free(error);
      return;
    }
    const std::string json = ToJson(value);
    if (value) g_object_unref(value);
    (*completed)(0, json);
  }

  static void OnScriptMessage(WebKitUserContentManager* /*content*/, WebKitJavascriptResult* message, gpointer data) {
    auto* self = static_cast<WebKitWebViewHost*>(data);
    // The channel is there in every page; only the ad's own pages are heard.
    const char* uri = webkit_web_view_get_uri(self->m_view);
    const std::string page = uri ? uri : "";
    if (!self->m_origin || page.rfind(self->m_origin->BaseUrl(), 0) != 0) {
      if (!self->m_outsideLogged) LogWarn("A message from " + page + ", outside the ad's origin, was dropped.");
      self->m_outsideLogged = true;
      return;
    }
    std::string json = ToJson(webkit_javascript_result_get_js_value(message));
    if (json.empty()) json = "null";
    // A copy: the message may close the ad, which destroys this host inside the call.
    const auto received = self->m_events.webMessageReceived;
    if (received) received(json);
  }

  static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<WebKitWebViewHost*>(data);
    // The blank page a reused view was parked on is not this play's, nor is
    // its load's end when this play's page cuts it short.
    const char* uri = webkit_web_view_get_uri(view);
    if (uri && std::string(uri) == "about:blank") return;
    if (event == WEBKIT_LOAD_STARTED) self->m_pageStarted = true;
    if (event == WEBKIT_LOAD_FINISHED && self->m_pageStarted && self->m_events.navigationCompleted) {
      const auto completed = self->m_events.navigationCompleted;  // the host may go inside
      completed();
    }
  }

  static gboolean OnPermissionRequest(WebKitWebView* /*view*/, WebKitPermissionRequest* request, gpointer data) {
    auto* self = static_cast<WebKitWebViewHost*>(data);
    Permission kind = Permission::Other;
    if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request)) {
      auto* media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request);
      if (webkit_user_media_permission_is_for_video_device(media)) {
        kind = Permission::Camera;
      } else if (webkit_user_media_permission_is_for_audio_device(media)) {
        kind = Permission::Microphone;
      }
    }
    if (!self->m_events.permissionRequested || !self->m_events.permissionRequested(kind)) return FALSE;
    webkit_permission_request_deny(request);
    return TRUE;
  }

  // The page is gone and shows nothing more. The handler may destroy this host.
  static void OnWebProcessTerminated(WebKitWebView* /*view*/, WebKitWebProcessTerminationReason reason, gpointer data) {
    auto* self = static_cast<WebKitWebViewHost*>(data);
    self->m_processEnded = true;
    const char* why = "the browser's web process ended.";
    switch (reason) {
      case WEBKIT_WEB_PROCESS_CRASHED: why = "the browser's web process crashed."; break;
      case WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT:
        why = "the browser's web process went over its memory limit.";
        break;
      case WEBKIT_WEB_PROCESS_TERMINATED_BY_API: why = "the browser's web process was terminated by the host."; break;
    }
    RunLogged("The web view's failure handler failed.", [&] {
      auto failed = self->m_events.failed;  // a copy: the handler may destroy the host, and its events with it
      if (failed) failed(why);
    });
  }

  // No pop-up ever opens: the view decides what becomes of it.
  static GtkWidget* OnCreate(WebKitWebView* /*view*/, WebKitNavigationAction* action, gpointer data) {
    auto* self = static_cast<WebKitWebViewHost*>(data);
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    if (self->m_events.newWindowRequested) {
      self->m_events.newWindowRequested(uri ? uri : "", webkit_navigation_action_is_user_gesture(action) != FALSE);
    }
    return nullptr;
  }

  static gboolean OnContextMenu(WebKitWebView* /*view*/, WebKitContextMenu* /*menu*/, GdkEvent* /*event*/,
                                WebKitHitTestResult* /*hit*/, gpointer /*data*/) {
    return TRUE;  // no menu
  }

  Events m_events;
  WebKitUserContentManager* m_content = nullptr;
  WebKitWebView* m_view = nullptr;
  GCancellable* m_cancellable = g_cancellable_new();
  gulong m_messageHandler = 0;
  gulong m_loadHandler = 0;
  gulong m_permissionHandler = 0;
  gulong m_menuHandler = 0;
  gulong m_createHandler = 0;
  gulong m_terminatedHandler = 0;
  bool m_outsideLogged = false;
  bool m_processEnded = false;             // the page's process ended: the view is not kept
  bool m_pageStarted = false;              // a page of this play has started loading
  std::unique_ptr<BundleOrigin> m_origin;  // the folder the page is served from
};

}  // namespace

void WarmUpWebEngine(WindowHandle window, const std::string& userDataFolder) {
  if (!window) return;
  RunOnGtkThread([userDataFolder] {
    RunLogged("The browser engine could not be started ahead of the first play.", [&] {
      if (gdk_display_get_default()) EngineFor(ContextFor(userDataFolder));  // else GTK is not set up here
    });
  });
}

// Without views the context's web process ends, and without the context its
// network process; what they left in this process's heap goes back to the system.
void ReleaseWebEngine() {
  RunOnGtkThread([] {
    RunLogged("The browser engine could not be released.", [] {
      if (LiveHosts() > 0) {
        LogWarn("The browser engine is not released while an ad's view is open.");
        return;
      }
      DropSpare();
      DropSpareOverlayWindow();
      if (WebKitWebView* engine = std::exchange(Engine(), nullptr)) g_object_unref(engine);
      SharedContext& shared = Shared();
      if (shared.context) g_object_unref(std::exchange(shared.context, nullptr));
      shared.folder.clear();
      malloc_trim(0);
    });
  });
}

std::unique_ptr<IWebViewHost> CreateWebViewHost(IOverlayWindow& window, const std::string& userDataFolder,
                                                IWebViewHost::Events events, std::string& failure) {
  auto* native = static_cast<GtkWidget*>(window.NativeHandle());
  if (!native || !GTK_IS_CONTAINER(native)) {
    failure = "the overlay is not a GTK container.";
    return nullptr;
  }
  return std::make_unique<WebKitWebViewHost>(GTK_CONTAINER(native), userDataFolder, std::move(events));
}

}  // namespace kestrel
