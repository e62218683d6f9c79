/**
 * @file kestrel.h
 * @brief Kestrel SDK: the publisher's interface in plain C.
 *
 * The same operations as kestrel::KestrelAds (KestrelAds.h), callable from C,
 * from C++ built with any compiler, and from any language that calls C
 * functions (C#, Rust, Go, Python, ...). Only C types cross this interface.
 *
 * Conventions:
 * - Strings are UTF-8 and null-terminated.
 * - Functions that can fail return a ::kestrel_result. A null pointer where a
 *   pointer is required gives ::KESTREL_ERROR_NULL_ARGUMENT and a log line at
 *   Error; no function lets a C++ exception out (it becomes
 *   ::KESTREL_ERROR_INTERNAL and a log line).
 * - Callbacks are a function pointer and a `void* user_data` that the SDK
 *   passes back untouched. A null function pointer is never called. The event
 *   a callback receives is valid for the call only: copy what you keep.
 *   Initialisation and load callbacks, and ::KESTREL_AD_RELEASED, arrive on
 *   the SDK's one callback thread; play events on the window's thread;
 *   diagnostics on the thread that logged. No SDK lock is held while a
 *   callback runs, so it may call any function here. Callbacks must not
 *   throw or longjmp.
 * - No function waits for the network (kestrel_wait_initialization() waits
 *   as long as it is told). A load that returns ::KESTREL_OK ends in exactly
 *   one load callback; one that returns an error calls nothing.
 * - Records the caller fills start with `size`, set to `sizeof` the record;
 *   records the SDK hands over start with `size` too. Read a member only when
 *   `size` covers it: a newer SDK may add members at the end.
 * - Strings the SDK hands over for keeping are freed with kestrel_free_string().
 */
#ifndef KESTREL_KESTREL_H
#define KESTREL_KESTREL_H

#include <stddef.h>
#include <stdint.h>

/** @brief Marks the functions the SDK's library exports. */
#if defined(_WIN32)
#if defined(KESTREL_BUILDING_SDK)
#define KESTREL_C_API __declspec(dllexport)
#else
#define KESTREL_C_API __declspec(dllimport)
#endif
#else
#define KESTREL_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** @brief Result of an operation. */
typedef enum kestrel_result {
  KESTREL_OK = 0,                            /**< done, or started */
  KESTREL_ERROR_NULL_ARGUMENT = -1,          /**< a required pointer was null */
  KESTREL_ERROR_INVALID_ARGUMENT = -2,       /**< a record's size is too small */
  KESTREL_ERROR_REFUSED = -3,                /**< the SDK refused (not initialised, unusable markup, ...) */
  KESTREL_ERROR_NOT_STARTED = -4,            /**< kestrel_wait_initialization() before any initialisation */
  KESTREL_ERROR_TIMEOUT = -5,                /**< the wait ended before initialisation did */
  KESTREL_ERROR_INITIALIZATION_FAILED = -6,  /**< initialisation ended with a failure */
  KESTREL_ERROR_INTERNAL = -7                /**< an internal error; the log says which */
} kestrel_result;

/** @brief The publisher's window: an HWND on Windows, a GtkWindow* on Linux. May be NULL. */
typedef void* kestrel_window;

/** @brief A yes/no choice that may be left unset (zero). */
typedef enum kestrel_choice { KESTREL_CHOICE_UNSET = 0, KESTREL_CHOICE_NO = 1, KESTREL_CHOICE_YES = 2 } kestrel_choice;

/** @brief GDPR consent, as kestrel::GdprConsentStatus. */
typedef enum kestrel_gdpr_status { KESTREL_GDPR_ACCEPTED = 1, KESTREL_GDPR_DENIED = 2 } kestrel_gdpr_status;

/** @brief CCPA choice, as kestrel::CcpaConsentStatus; zero leaves it unset in ::kestrel_config. */
typedef enum kestrel_ccpa_status {
  KESTREL_CCPA_UNSET = 0,
  KESTREL_CCPA_OPTED_IN = 1,
  KESTREL_CCPA_OPTED_OUT = 2
} kestrel_ccpa_status;

/** @brief Severity of a diagnostic event, as kestrel::LogLevel. */
typedef enum kestrel_log_level {
  KESTREL_LOG_TRACE = 0,
  KESTREL_LOG_DEBUG = 1,
  KESTREL_LOG_INFO = 2,
  KESTREL_LOG_WARN = 3,
  KESTREL_LOG_ERROR = 4,
  KESTREL_LOG_FATAL = 5
} kestrel_log_level;

/** @brief Options of kestrel_initialize_with_config(); zero members leave the stored choices untouched. */
typedef struct kestrel_config {
  size_t size;                         /**< sizeof(kestrel_config) */
  const char* config_base_url;         /**< the ad server's base URL; required: NULL or "" fails initialisation */
  kestrel_choice coppa_status;         /**< the COPPA flag to store, or unset */
  kestrel_ccpa_status ccpa_status;     /**< the CCPA choice to store, or unset */
  kestrel_choice disable_ashwid_tracking; /**< the hardware-id opt-out to store, or unset */
  uint32_t load_timeout_ms;            /**< how long a load may take before it fails as timed out; 0: 30 s */
  kestrel_log_level log_minimum_level; /**< events below it are dropped from the console and listeners; 0: none */
  kestrel_choice log_to_console;       /**< KESTREL_CHOICE_NO: nothing on stdout or stderr; listeners hear all */
} kestrel_config;

/** @brief A placement of the publisher's configuration. */
typedef struct kestrel_placement {
  size_t size;              /**< sizeof the record as the SDK knows it */
  const char* reference_id; /**< the placement name passed to kestrel_load() and kestrel_play() */
  int is_auto_cached;       /**< the SDK loads an ad for it by itself */
  int is_incentivized;      /**< a rewarded placement */
  int header_bidding;       /**< its ads come from header bidding */
  int32_t max_hb_cache;     /**< how many header-bidding ads it keeps */
} kestrel_placement;

/** @brief The outcome of initialisation. */
typedef struct kestrel_init_event {
  size_t size;                              /**< sizeof the record as the SDK knows it */
  const char* message;                      /**< why it failed; "" on success */
  size_t placement_count;                   /**< the number of placements */
  const kestrel_placement* const* placements; /**< placement_count placements, in the configuration's order */
} kestrel_init_event;

/**
 * @brief Told once per initialisation call that returned ::KESTREL_OK, on an SDK thread.
 * @param user_data as given to the call
 * @param result ::KESTREL_OK or ::KESTREL_ERROR_INITIALIZATION_FAILED.
 * @param event the placements, or the failure's message
 */
typedef void (*kestrel_init_callback)(void* user_data, kestrel_result result, const kestrel_init_event* event);

/** @brief The outcome of a load. */
typedef struct kestrel_load_event {
  size_t size;              /**< sizeof the record as the SDK knows it */
  int success;              /**< 1 when an ad is ready to play */
  const char* placement_id; /**< the placement loaded */
  const char* message;      /**< why the load failed */
  int32_t count; /**< the placement's number of playable ads */
} kestrel_load_event;

/**
 * @brief Told exactly once per kestrel_load() or kestrel_load_mediated() call
 * that passed its argument checks, also when the SDK refused the load (then
 * possibly before the call returns).
 */
typedef void (*kestrel_load_callback)(void* user_data, const kestrel_load_event* event);

/** @brief What happened to a play. */
typedef enum kestrel_play_event_kind {
  KESTREL_AD_START = 1,        /**< the ad started showing */
  KESTREL_AD_END = 2,          /**< the ad was closed */
  KESTREL_AD_CLICK = 3,        /**< the user clicked through */
  KESTREL_AD_REWARDED = 4,     /**< a rewarded ad was viewed to completion */
  KESTREL_AD_PLAY_FAILURE = 5, /**< the ad cannot be played */
  KESTREL_AD_RELEASED = 6      /**< last call of a play: the SDK no longer holds user_data; any thread, event NULL.
                                    It may come long after the play's last event: a placement keeps its
                                    last play until its next one. */
} kestrel_play_event_kind;

/** @brief A play event. */
typedef struct kestrel_play_event {
  size_t size;                   /**< sizeof the record as the SDK knows it */
  const char* placement_id;      /**< the placement played */
  const char* message;           /**< what happened */
  const char* event_id;          /**< "" when the ad has none */
  const char* exception_message; /**< NULL unless the failure came from an exception */
} kestrel_play_event;

/** @brief Play events, on the thread that plays the ad; ::KESTREL_AD_RELEASED comes last. */
typedef void (*kestrel_play_callback)(void* user_data, kestrel_play_event_kind kind, const kestrel_play_event* event);

/** @brief Per-play options, as kestrel::AdConfig; NULL or "" texts keep the creative's own. */
typedef struct kestrel_play_options {
  size_t size; /**< sizeof(kestrel_play_options) */
  const char* incentivized_title_text;    /**< the rewarded-ad dialog's title */
  const char* incentivized_body_text;     /**< the dialog's text */
  const char* incentivized_close_text;    /**< the dialog's close button */
  const char* incentivized_continue_text; /**< the dialog's continue button */
  kestrel_window window; /**< the window the ad covers; NULL: the one given at initialisation */
} kestrel_play_options;

/** @brief Result of the play functions. Its texts stay valid until the next play call on the same thread. */
typedef struct kestrel_play_info {
  size_t size; /**< set by the caller to sizeof(kestrel_play_info) */
  int success; /**< 0 when the SDK refused to play */
  const char* placement_id; /**< the placement played */
  const char* message;      /**< why the SDK refused */
  const char* event_id;     /**< the ad's event id */
  const char* creative_id;  /**< the ad's creative id; "" when refused */
  const char* campaign_id;  /**< the ad's campaign id; "" when refused */
} kestrel_play_info;

/** @brief One diagnostic event. */
typedef struct kestrel_log_event {
  size_t size;                   /**< sizeof the record as the SDK knows it */
  const char* message;           /**< the text of the event */
  kestrel_log_level level;       /**< the severity */
  const char* sender_type;       /**< a sender label; "" for the SDK's own events */
  const char* exception_message; /**< NULL when no exception is attached */
} kestrel_log_event;

/** @brief A diagnostic listener, called on the thread that logged. */
typedef void (*kestrel_log_listener)(void* user_data, const kestrel_log_event* event);

/** @brief The SDK version, e.g. "7.0.1"; a static string. */
KESTREL_C_API const char* kestrel_version(void);

/** @brief Frees a string the SDK handed over; NULL is ignored. */
KESTREL_C_API void kestrel_free_string(char* text);

/**
 * @brief Starts initialisation and returns at once (kestrel::KestrelAds::InitializeAsync).
 *
 * The callback is told the outcome once, on the SDK's callback thread. A call
 * while one runs is told that one's outcome; after a success it reports
 * success again; after a failure it fetches the configuration again.
 * kestrel_initialize() has no base URL, so its initialisation fails: use
 * kestrel_initialize_with_config().
 * @param app_id the publisher's application id
 * @param window the publisher's window, or NULL
 * @param callback told the outcome; may be NULL
 * @param user_data passed to the callback
 * @return ::KESTREL_OK when initialisation started
 */
KESTREL_C_API kestrel_result kestrel_initialize(const char* app_id, kestrel_window window,
                                                kestrel_init_callback callback, void* user_data);

/** @brief kestrel_initialize() with options. */
KESTREL_C_API kestrel_result kestrel_initialize_with_config(const char* app_id, const kestrel_config* config,
                                                            kestrel_window window, kestrel_init_callback callback,
                                                            void* user_data);

/**
 * @brief Waits for the latest initialisation to end, at most timeout_ms milliseconds.
 *
 * On Linux, do not wait on the window's thread: initialisation may need its main loop.
 * Inside a callback it does not wait (callbacks arrive one at a time): it
 * returns ::KESTREL_ERROR_TIMEOUT unless the outcome is known.
 * @return the result the init callback was given, ::KESTREL_ERROR_TIMEOUT, or
 * ::KESTREL_ERROR_NOT_STARTED when no initialisation was started
 */
KESTREL_C_API kestrel_result kestrel_wait_initialization(uint32_t timeout_ms);

/**
 * @brief Requests an ad for the placement and downloads it in the background; returns at once.
 *
 * With ::KESTREL_OK the callback is told once, success or failure with why.
 * A load while the placement's load is in flight joins it.
 * @return ::KESTREL_OK, or ::KESTREL_ERROR_REFUSED when the SDK is not initialised
 */
KESTREL_C_API kestrel_result kestrel_load(const char* placement, kestrel_load_callback callback, void* user_data);

/**
 * @brief Sets the callback that hears what the SDK loads for the placement by itself.
 *
 * Told on the callback thread, any number of times: the outcome of each
 * automatic load of an auto-cached placement (after initialisation, after
 * each play, after an expiry, and after a failure again after 1, 2, 4 ... up
 * to 64 s), and a failure whose message ends in "expired." when a loaded ad
 * of the placement expires. May be called before initialisation and stays
 * set; a NULL callback removes it. An expired ad is never played: kestrel_play()
 * refuses it and its files are deleted.
 * @return ::KESTREL_OK, or ::KESTREL_ERROR_NULL_ARGUMENT for a NULL placement
 */
KESTREL_C_API kestrel_result kestrel_set_load_callback(const char* placement, kestrel_load_callback callback,
                                                       void* user_data);

/** @brief Loads the ad of a header-bidding win from its markup; ::KESTREL_ERROR_REFUSED for unusable markup. */
KESTREL_C_API kestrel_result kestrel_load_mediated(const char* placement, const char* ad_markup,
                                                   kestrel_load_callback callback, void* user_data);

/** @brief 1 when the placement has an ad ready to play, else 0 (also for NULL). */
KESTREL_C_API int kestrel_is_playable(const char* placement);

/**
 * @brief Plays a loaded ad over the publisher's window.
 *
 * Call it on the thread that runs the window's event loop; play events arrive
 * on that thread. A refused play (another thread, no live window, an ad on
 * screen, nothing loaded) is told as ::KESTREL_AD_PLAY_FAILURE too.
 * @param placement the placement's name
 * @param callback told the play's events; may be NULL
 * @param user_data passed to the callback
 * @param info filled with the play's record
 * @return ::KESTREL_OK when the ad plays, ::KESTREL_ERROR_REFUSED when not
 */
KESTREL_C_API kestrel_result kestrel_play(const char* placement, kestrel_play_callback callback, void* user_data,
                                          kestrel_play_info* info);

/** @brief kestrel_play() with per-play options. */
KESTREL_C_API kestrel_result kestrel_play_with_options(const char* placement, const kestrel_play_options* options,
                                                       kestrel_play_callback callback, void* user_data,
                                                       kestrel_play_info* info);

/** @brief Plays an ad loaded with kestrel_load_mediated() for a header-bidding placement. */
KESTREL_C_API kestrel_result kestrel_play_mediated(const char* placement, const char* ad_markup,
                                                   const kestrel_play_options* options,
                                                   kestrel_play_callback callback, void* user_data,
                                                   kestrel_play_info* info);

/**
 * @brief The bid token for a mediation layer; "" before initialisation.
 * @param argument passed on to the token
 * @param token receives the token, to free with kestrel_free_string()
 */
KESTREL_C_API kestrel_result kestrel_get_mediation_token(const char* argument, char** token);

/**
 * @brief Registers a diagnostic listener; listeners may be added before initialisation.
 *
 * Every diagnostic event is also written to standard output.
 */
KESTREL_C_API kestrel_result kestrel_add_diagnostic_listener(kestrel_log_listener listener, void* user_data);

/**
 * @brief Removes each registration of this listener with this user_data.
 *
 * An event being delivered while it is removed may still reach it once.
 */
KESTREL_C_API kestrel_result kestrel_remove_diagnostic_listener(kestrel_log_listener listener, void* user_data);

/**
 * @brief Drops every callback and diagnostic listener given so far: once it returns, none of them is called again.
 *
 * Loads, plays and initialisations in flight go on untold; load callbacks set
 * with kestrel_set_load_callback() are dropped too. It waits for calls of the
 * dropped callbacks in progress on other threads, unless they are dropping
 * too, so such a callback must not wait for the thread that drops.
 * For a runtime that unloads the code the callbacks point into, such as a
 * managed domain that is reloaded while the library stays loaded.
 */
KESTREL_C_API kestrel_result kestrel_drop_callbacks(void);

/** @name Privacy choices
 * They work before initialisation too and are sent with every later request.
 * @{ */
/** @brief The GDPR consent; accepted when nothing was stored. */
KESTREL_C_API kestrel_gdpr_status kestrel_get_gdpr_consent_status(void);
/** @brief Stores the GDPR consent with the version of the consent message shown;
 *  ::KESTREL_ERROR_INVALID_ARGUMENT, storing nothing, for a status that is neither accepted nor denied. */
KESTREL_C_API kestrel_result kestrel_set_gdpr_consent_status(kestrel_gdpr_status status,
                                                             const char* consent_message_version);
/** @brief Forgets the GDPR consent; needs an initialised SDK. */
KESTREL_C_API void kestrel_reset_gdpr_consent_status(void);
/** @brief The stored consent message version, to free with kestrel_free_string(). */
KESTREL_C_API kestrel_result kestrel_get_gdpr_consent_message_version(char** version);
/** @brief The CCPA choice; opted in when nothing was stored. */
KESTREL_C_API kestrel_ccpa_status kestrel_get_ccpa_status(void);
/** @brief Stores the CCPA choice; ::KESTREL_ERROR_INVALID_ARGUMENT, storing nothing, for another value. */
KESTREL_C_API kestrel_result kestrel_set_ccpa_status(kestrel_ccpa_status status);
/** @brief The COPPA flag, 0 or 1. */
KESTREL_C_API int kestrel_get_coppa_status(void);
/** @brief Stores the COPPA flag (non-zero: the user is a child). */
KESTREL_C_API void kestrel_set_coppa_status(int status);
/** @brief The hardware-id opt-out, 0 or 1. */
KESTREL_C_API int kestrel_get_disable_ashwid(void);
/** @brief Stores the hardware-id opt-out. */
KESTREL_C_API void kestrel_set_disable_ashwid_tracking(int disable);
/** @} */

/** @brief Prints every device fact, the request's device section and the app's facts to standard output. */
KESTREL_C_API kestrel_result kestrel_test_device_info(kestrel_window window, const char* app_id);

#ifdef __cplusplus
}
#endif

#endif
