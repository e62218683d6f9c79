/* A C publisher built against the installed SDK: privacy choices, initialise,
 * the token, load, playable and a play in a real window against the local ad
 * server, whose request record it reads back.
 *
 *   consumer-c start|failure SERVER_URL RECORD_FILE
 *
 * The first argument is how a play ends on this platform: "start" (the ad shows,
 * rewards and closes itself) or "failure" (no web view can be made). */
#include <kestrel/kestrel.h>

#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <gtk/gtk.h>
#endif

static int failures = 0;
#define CHECK(condition)                                                  \
  do {                                                                    \
    if (!(condition)) {                                                   \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                         \
    }                                                                     \
  } while (0)

/* The publisher's window and its event loop. */
#ifdef _WIN32
static kestrel_window open_window(void) {
  HWND window = CreateWindowExA(0, "STATIC", "Publisher", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 640, 480, NULL,
                                NULL, GetModuleHandleA(NULL), NULL);
  return (kestrel_window)window;
}
static void pump(void) {
  MSG message;
  while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
}
#else
static kestrel_window open_window(void) {
  GtkWidget* window;
  if (!gtk_init_check(NULL, NULL)) return NULL;
  window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 640, 480);
  gtk_widget_show(window);
  return window;
}
static void pump(void) {
  while (g_main_context_iteration(NULL, FALSE)) {
  }
  g_usleep(10000);
}
#endif

/* Runs the event loop until *flag is set or 60 seconds pass; whether it was set. */
static int pump_until(atomic_int* flag) {
  const time_t deadline = time(NULL) + 60;
  while (!atomic_load(flag) && time(NULL) < deadline) pump();
  return atomic_load(flag);
}

/* What the callbacks saw. Each is written before its flag is set. */
static atomic_int init_told, init_result, init_calls;
static char init_placements[256];
static int init_rewarded_is_incentivized, init_hb_is_header_bidding;

static void on_init(void* user_data, kestrel_result result, const kestrel_init_event* event) {
  size_t i;
  CHECK(user_data == &init_told);
  for (i = 0; i < event->placement_count; ++i) {
    const kestrel_placement* p = event->placements[i];
    strncat(init_placements, p->reference_id, sizeof init_placements - strlen(init_placements) - 2);
    strcat(init_placements, " ");
    if (strcmp(p->reference_id, "rewarded_video") == 0) init_rewarded_is_incentivized = p->is_incentivized;
    if (strcmp(p->reference_id, "hb_banner") == 0) init_hb_is_header_bidding = p->header_bidding;
  }
  atomic_fetch_add(&init_calls, 1);
  atomic_store(&init_result, result);
  atomic_store(&init_told, 1);
}

struct load_state {
  atomic_int told, calls, success, count;
};
static void on_load(void* user_data, const kestrel_load_event* event) {
  struct load_state* state = user_data;
  atomic_store(&state->success, event->success);
  atomic_store(&state->count, event->count);
  atomic_fetch_add(&state->calls, 1);
  atomic_store(&state->told, 1);
}

/* The play's events in order ("S" start, "E" end, "C" click, "R" rewarded, "F" failure). */
static char play_events[32];
static char play_failure_message[1024];
static atomic_int play_ended;
static void on_play(void* user_data, kestrel_play_event_kind kind, const kestrel_play_event* event) {
  static const char letters[] = "?SECRF";
  (void)user_data;
  if (kind == KESTREL_AD_RELEASED) {
    CHECK(event == NULL);
    return;
  }
  if (strlen(play_events) + 1 < sizeof play_events) strncat(play_events, &letters[kind], 1);
  CHECK(strcmp(event->placement_id, "rewarded_video") == 0);
  if (kind == KESTREL_AD_PLAY_FAILURE) snprintf(play_failure_message, sizeof play_failure_message, "%s", event->message);
  if (kind == KESTREL_AD_END || kind == KESTREL_AD_PLAY_FAILURE) atomic_store(&play_ended, 1);
}

static atomic_int log_start_lines, log_null_lines;
static void on_log(void* user_data, const kestrel_log_event* event) {
  (void)user_data;
  if (strcmp(event->message, "Initializing Win32") == 0 && event->level == KESTREL_LOG_INFO)
    atomic_fetch_add(&log_start_lines, 1);
  if (strcmp(event->message, "kestrel_load: placement is null.") == 0 && event->level == KESTREL_LOG_ERROR)
    atomic_fetch_add(&log_null_lines, 1);
}

/* The number of recorded requests whose path starts with path and whose line holds text. */
static int recorded(const char* record_file, const char* path, const char* text) {
  char line[65536], key[256];
  int count = 0;
  FILE* file = fopen(record_file, "r");
  if (!file) return 0;
  snprintf(key, sizeof key, "\"path\":\"%s", path);
  while (fgets(line, sizeof line, file)) {
    if (strstr(line, key) && (!text || strstr(line, text))) ++count;
  }
  fclose(file);
  return count;
}

/* Waits until the record holds such a request; whether it does. */
static int wait_recorded(const char* record_file, const char* path, const char* text) {
  const time_t deadline = time(NULL) + 30;
  while (!recorded(record_file, path, text) && time(NULL) < deadline) pump();
  return recorded(record_file, path, text) > 0;
}

int main(int argc, char** argv) {
  const char *url, *record_file;
  int expect_start;
  kestrel_window window;
  kestrel_config config;
  kestrel_play_options options;
  kestrel_play_info info;
  struct load_state refused_load = {0}, load = {0};
  char *token = NULL, *version = NULL;
  kestrel_result played;

  if (argc != 4 || (strcmp(argv[1], "start") != 0 && strcmp(argv[1], "failure") != 0)) {
    fprintf(stderr, "usage: %s start|failure SERVER_URL RECORD_FILE\n", argv[0]);
    return 2;
  }
  expect_start = strcmp(argv[1], "start") == 0;
  url = argv[2];
  record_file = argv[3];
  window = open_window();
  CHECK(window != NULL);

  CHECK(strcmp(kestrel_version(), KESTREL_EXPECTED_VERSION) == 0);
  CHECK(kestrel_add_diagnostic_listener(on_log, NULL) == KESTREL_OK);
  CHECK(kestrel_load(NULL, on_load, NULL) == KESTREL_ERROR_NULL_ARGUMENT);
  CHECK(atomic_load(&log_null_lines) == 1);

  /* Before initialisation: the choices are stored, ads are refused. */
  CHECK(kestrel_set_ccpa_status(KESTREL_CCPA_OPTED_OUT) == KESTREL_OK);
  CHECK(kestrel_set_ccpa_status(KESTREL_CCPA_UNSET) == KESTREL_ERROR_INVALID_ARGUMENT);
  kestrel_set_coppa_status(1);
  CHECK(kestrel_set_gdpr_consent_status(KESTREL_GDPR_DENIED, "2.0.1") == KESTREL_OK);
  CHECK(kestrel_get_ccpa_status() == KESTREL_CCPA_OPTED_OUT);
  CHECK(kestrel_get_coppa_status() == 1);
  CHECK(kestrel_get_gdpr_consent_status() == KESTREL_GDPR_DENIED);
  CHECK(kestrel_get_gdpr_consent_message_version(&version) == KESTREL_OK && strcmp(version, "2.0.1") == 0);
  kestrel_free_string(version);
  CHECK(kestrel_wait_initialization(0) == KESTREL_ERROR_NOT_STARTED);
  CHECK(kestrel_load("rewarded_video", on_load, &refused_load) == KESTREL_ERROR_REFUSED);
  CHECK(atomic_load(&refused_load.calls) == 0); /* a refusal calls nothing */
  CHECK(kestrel_get_mediation_token("", &token) == KESTREL_OK && strcmp(token, "") == 0);
  kestrel_free_string(token);

  /* Initialisation against the local ad server; the hardware-id opt-out comes with it. */
  memset(&config, 0, sizeof config);
  config.size = sizeof config;
  config.config_base_url = url;
  config.disable_ashwid_tracking = KESTREL_CHOICE_YES;
  CHECK(kestrel_initialize_with_config("c-consumer", &config, window, on_init, &init_told) == KESTREL_OK);
  CHECK(pump_until(&init_told));
  CHECK(atomic_load(&init_result) == KESTREL_OK);
  CHECK(kestrel_wait_initialization(60000) == KESTREL_OK);
  CHECK(atomic_load(&init_calls) == 1);
  CHECK(strstr(init_placements, "rewarded_video ") && strstr(init_placements, "hb_banner "));
  CHECK(init_rewarded_is_incentivized == 1 && init_hb_is_header_bidding == 1);
  CHECK(atomic_load(&log_start_lines) == 1);
  CHECK(wait_recorded(record_file, "/config", NULL));

  /* The choices made before survive initialisation. */
  CHECK(kestrel_get_ccpa_status() == KESTREL_CCPA_OPTED_OUT);
  CHECK(kestrel_get_coppa_status() == 1);
  CHECK(kestrel_get_disable_ashwid() == 1);
  CHECK(kestrel_get_gdpr_consent_status() == KESTREL_GDPR_DENIED);

  CHECK(kestrel_get_mediation_token("", &token) == KESTREL_OK && strlen(token) > 16);
  kestrel_free_string(token);

  /* Load, then the server must have been asked with the user's choices. */
  CHECK(kestrel_load("rewarded_video", on_load, &load) == KESTREL_OK);
  CHECK(pump_until(&load.told));
  CHECK(atomic_load(&load.success) == 1 && atomic_load(&load.count) >= 1);
  CHECK(kestrel_is_playable("rewarded_video") == 1);
  CHECK(kestrel_is_playable("no_such_placement") == 0);
  CHECK(recorded(record_file, "/ads", "\"rewarded_video\"") >= 1);
  CHECK(recorded(record_file, "/ads", "\"status\":\"opted_out\"") >= 1);
  CHECK(recorded(record_file, "/ads", "\"is_coppa\":true") >= 1);

  /* The play, in this thread's window. */
  memset(&options, 0, sizeof options);
  options.size = sizeof options;
  options.window = window;
  memset(&info, 0, sizeof info);
  info.size = sizeof info;
  played = kestrel_play_with_options("rewarded_video", &options, on_play, NULL, &info);
  CHECK(strcmp(info.placement_id, "rewarded_video") == 0);
  CHECK(pump_until(&play_ended));
  if (expect_start) {
    CHECK(played == KESTREL_OK && info.success == 1 && strlen(info.creative_id) > 0);
    CHECK(strcmp(play_events, "SRE") == 0);
    CHECK(wait_recorded(record_file, "/tpat/", NULL));
  } else {
    CHECK(played == KESTREL_ERROR_REFUSED && info.success == 0);
    CHECK(strcmp(play_events, "F") == 0);
    CHECK(strcmp(play_failure_message, info.message) == 0 && strstr(info.message, "could not be shown") != NULL);
    CHECK(recorded(record_file, "/tpat/", NULL) == 0);
  }
#ifdef _WIN32
  { /* The overlay's window class belongs to the DLL, where its window procedure is. */
    WNDCLASSEXW overlay_class;
    overlay_class.cbSize = sizeof overlay_class;
    CHECK(GetClassInfoExW(GetModuleHandleW(L"KestrelSDK.Win32.dll"), L"TovaneOverlayWndClass", &overlay_class));
    CHECK(!GetClassInfoExW(GetModuleHandleW(NULL), L"TovaneOverlayWndClass", &overlay_class));
  }
#endif
  CHECK(kestrel_remove_diagnostic_listener(on_log, NULL) == KESTREL_OK);

  if (failures) fprintf(stderr, "%d checks failed; play events \"%s\"\n", failures, play_events);
  else printf("C consumer ok\n");
  return failures ? 1 : 0;
}
