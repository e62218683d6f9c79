#include "e2e/BareWebView.h"

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "e2e/MainLoop.h"

namespace kestrel::bench {

namespace {

// The creative reports its start through the bridge's tracking call; without
// the SDK this stand-in forwards it to the host.
constexpr const char* kTrackingShim =
    "window.tovane = {mraidBridgeExt: {notifyTPAT: function (event) {"
    "  window.webkit.messageHandlers.bench.postMessage(String(event)); }}};";

struct PageState {
  bool finished = false;
  bool started = false;
};

void OnMessage(WebKitUserContentManager* /*content*/, WebKitJavascriptResult* message, gpointer data) {
  gchar* text = jsc_value_to_string(webkit_javascript_result_get_js_value(message));
  if (text && g_strcmp0(text, "impression") == 0) static_cast<PageState*>(data)->started = true;
  g_free(text);
}

void OnLoadChanged(WebKitWebView* /*view*/, WebKitLoadEvent event, gpointer data) {
  if (event == WEBKIT_LOAD_FINISHED) static_cast<PageState*>(data)->finished = true;
}

}  // namespace

std::optional<std::chrono::duration<double, std::milli>> BareWebView::OpenUntilReady(
    const std::filesystem::path& indexHtml, std::chrono::seconds deadline) {
  using Clock = std::chrono::steady_clock;
  PageState state;
  const auto start = Clock::now();

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  WebKitUserScript* shim = webkit_user_script_new(kTrackingShim, WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                  WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, shim);
  webkit_user_script_unref(shim);
  webkit_user_content_manager_register_script_message_handler(content, "bench");
  g_signal_connect(content, "script-message-received::bench", G_CALLBACK(OnMessage), &state);
  // One context for every run, as the SDK keeps one; ephemeral, so nothing is written to the user's folders.
  static WebKitWebContext* context = webkit_web_context_new_ephemeral();
  GtkWidget* view =
      GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context, "user-content-manager", content, nullptr));
  g_object_unref(content);
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), &state);
  gtk_container_add(GTK_CONTAINER(window), view);
  gtk_widget_show_all(window);

  gchar* uri = g_filename_to_uri(indexHtml.c_str(), nullptr, nullptr);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri);
  g_free(uri);

  const bool ready = PumpUntil([&] { return state.finished && state.started; }, deadline);
  const auto took = Clock::now() - start;

  g_signal_handlers_disconnect_by_data(content, &state);
  g_signal_handlers_disconnect_by_data(view, &state);
  gtk_widget_destroy(window);
  Pump();
  if (!ready) return std::nullopt;
  return std::chrono::duration<double, std::milli>(took);
}

}  // namespace kestrel::bench
