/**
 * @file KestrelAds.h
 * @brief Kestrel SDK: the publisher's interface in C++.
 *
 * A publisher initialises the SDK once with InitializeAsync, then loads and
 * plays ads for the placements its configuration names, and manages the
 * user's privacy choices. Every operation is safe to call at any time: before
 * initialisation the ad operations refuse (with a log line and, where a
 * callback record is given, a failure callback) and the privacy operations
 * read and write the stored choices directly.
 *
 * The contract with the publisher's program:
 * - No call waits for the network. LoadAd, LoadMediatedAd, IsAdPlayable,
 *   GetMediationSuperToken and the privacy operations return at once (a
 *   privacy setter writes the settings file once); PlayAd and PlayMediatedAd
 *   only set up the ad's window; InitializeAsync returns at once, and its
 *   future may be dropped.
 * - Every LoadAd or LoadMediatedAd that returns true ends in exactly one load
 *   callback, success or failure, whose message says why it failed, at the
 *   latest after KestrelSdkConfig::LoadTimeout ("... timed out"). A LoadAd
 *   while the placement's load is in flight joins it: every caller is told
 *   its outcome. A call that returns false was refused before anything
 *   started and calls nothing.
 * - Initialisation and load callbacks arrive on the SDK's one callback
 *   thread, in the order the outcomes were known (so in order for each
 *   placement); play callbacks arrive on the thread that runs the publisher
 *   window's event loop. No SDK lock is held while a callback runs: it may
 *   call any operation (LoadAd, PlayAd, InitializeAsync) and may block for a
 *   while, which delays the callbacks after it but none of the SDK's work.
 * - A play that cannot show (called off the window's thread, no live window,
 *   another ad on screen) gets OnAdPlayFailure; nothing is fired or spent.
 *
 * No exception leaves an operation of this header.
 *
 * Its types pass the C++ standard library across the library boundary, so a
 * program using it must be built with the SDK's compiler and standard library;
 * kestrel.h is the same interface in C, for every compiler and language.
 */
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

/// Marks what the SDK's library exports.
#if defined(_WIN32)
#if defined(KESTREL_BUILDING_SDK)
#define KESTREL_API __declspec(dllexport)
#else
#define KESTREL_API __declspec(dllimport)
#endif
#else
#define KESTREL_API __attribute__((visibility("default")))
#endif

#if defined(_WIN32)
struct HWND__;  // what <windows.h> calls HWND is HWND__*
#endif

/// The SDK's C++ interface.
namespace kestrel {

/// The publisher's window. On Windows an HWND; on Linux a pointer to the
/// publisher's GtkWindow, passed as an opaque pointer.
#if defined(_WIN32)
using WindowHandle = ::HWND__*;
#else
using WindowHandle = void*;
#endif

/// Severity of a diagnostic event. The SDK logs at Info, Warn and Error.
enum class LogLevel : std::int32_t { Trace = 0, Debug = 1, Info = 2, Warn = 3, Error = 4, Fatal = 5 };

/// One diagnostic event, as written to standard output and given to listeners.
struct DiagnosticLogEvent {
  std::string Message;              ///< the text of the event
  std::exception_ptr ExceptionPtr;  ///< an attached exception; empty for the SDK's own events
  LogLevel Level = LogLevel::Info;  ///< the severity
  std::string SenderType;           ///< a sender label; empty for the SDK's own events
};

/// A placement of the publisher's configuration.
struct PlacementRecord {
  std::string ReferenceId;       ///< the placement name passed to LoadAd and PlayAd
  bool IsAutoCached = false;     ///< the SDK loads an ad for it by itself
  bool IsIncentivized = false;   ///< a rewarded placement
  bool HeaderBidding = false;    ///< its ads come from header bidding (LoadMediatedAd, PlayMediatedAd)
  std::int32_t MaxHbCache = 0;   ///< how many header-bidding ads it keeps
};

/// What OnInitializationSuccess receives.
struct InitializationSuccessEventArgs {
  std::vector<PlacementRecord> Placements;  ///< in the order of the configuration
};

/// What OnInitializationFailure receives.
struct InitializationFailureEventArgs {
  std::string Message;           ///< why initialisation failed
  std::exception_ptr Exception;  ///< set when the failure came from an exception
};

/// Both members are optional; an empty member is not called.
struct InitializationCallback {
  std::function<void(InitializationSuccessEventArgs)> OnInitializationSuccess;  ///< the configuration was applied
  std::function<void(InitializationFailureEventArgs)> OnInitializationFailure;  ///< it could not be
};

/// GDPR consent.
enum class GdprConsentStatus : std::int32_t { Accepted = 1, Denied = 2 };

/// CCPA choice: whether the user opted out of the sale of personal data.
enum class CcpaConsentStatus : std::int32_t { OptedIn = 1, OptedOut = 2 };

/// Options of InitializeAsync. An absent optional leaves the stored choice untouched.
struct KestrelSdkConfig {
  /// Base URL of the ad server's configuration endpoint: the SDK posts its
  /// configuration request to this URL joined with "/config". Required: with
  /// none, initialisation fails with a message that says so.
  std::string ConfigBaseUrl;
  std::optional<bool> CoppaStatus;               ///< the COPPA flag to store
  std::optional<CcpaConsentStatus> CcpaStatus;   ///< the CCPA choice to store
  std::optional<bool> DisableAshwidTracking;     ///< the hardware-id opt-out to store
  /// How long a load (and the configuration request) may take; one that takes
  /// longer fails with a message that ends in "timed out", and what the
  /// server sends after that is ignored. Zero or less means the default, 30 s.
  std::chrono::milliseconds LoadTimeout{std::chrono::seconds(30)};
  /// Events below this level are dropped, from the console and the listeners
  /// alike. The default lets every event through.
  LogLevel MinimumLogLevel = LogLevel::Trace;
  /// With false the SDK writes nothing to standard output or standard error:
  /// neither its log lines nor the device, extraction and app-info lines.
  /// Listeners still receive every event. Both log options take effect when
  /// InitializeAsync is called.
  bool LogToConsole = true;
};

/// The outcome of a load.
struct AdLoadEventArgs {
  bool Success = false;     ///< an ad is ready to play
  std::string PlacementId;  ///< the placement loaded
  std::string Message;      ///< why the load failed
  std::int32_t Count = 0;   ///< the placement's number of playable ads
};

/// The load callbacks; an empty member is not called.
struct AdLoadCallback {
  std::function<void(AdLoadEventArgs)> OnAdLoadSuccess;  ///< an ad was loaded
  std::function<void(AdLoadEventArgs)> OnAdLoadFailure;  ///< no ad could be loaded
};

/// A play event.
struct AdPlayEventArgs {
  std::string PlacementId;       ///< the placement played
  std::string Message;           ///< what happened
  std::string EventId;           ///< empty when the ad has none
  std::exception_ptr Exception;  ///< set when a failure came from an exception
};

/// The play callbacks; an empty member is not called.
struct AdPlayCallback {
  std::function<void(AdPlayEventArgs)> OnAdStart;        ///< the ad started showing
  std::function<void(AdPlayEventArgs)> OnAdEnd;          ///< the ad was closed
  std::function<void(AdPlayEventArgs)> OnAdClick;        ///< the user clicked through
  std::function<void(AdPlayEventArgs)> OnAdRewarded;     ///< a rewarded ad was viewed to completion
  std::function<void(AdPlayEventArgs)> OnAdPlayFailure;  ///< the ad cannot be played
};

/// Per-play options. A non-empty text replaces the matching text of the
/// rewarded-ad dialog; a window makes the ad cover that window instead of the
/// one given to InitializeAsync.
struct AdConfig {
  std::string IncentivizedTitleText;     ///< the dialog's title
  std::string IncentivizedBodyText;      ///< the dialog's text
  std::string IncentivizedCloseText;     ///< the dialog's close button
  std::string IncentivizedContinueText;  ///< the dialog's continue button
  WindowHandle Window = nullptr;         ///< the window the ad covers
};

/// Result of the play operations.
struct KestrelAdPlayInfo {
  bool Success = true;      ///< false when the SDK refused to play
  std::string PlacementId;  ///< the placement played
  std::string Message;      ///< why the SDK refused
  std::string EventId;      ///< the ad's event id
  std::string CreativeId;   ///< the ad's creative id; empty when refused
  std::string CampaignId;   ///< the ad's campaign id; empty when refused
  std::function<void(AdPlayEventArgs)> OnAdStart;        ///< copy of the callback's member
  std::function<void(AdPlayEventArgs)> OnAdEnd;          ///< copy of the callback's member
  std::function<void(AdPlayEventArgs)> OnAdClick;        ///< copy of the callback's member
  std::function<void(AdPlayEventArgs)> OnAdRewarded;     ///< copy of the callback's member
  std::function<void(AdPlayEventArgs)> OnAdPlayFailure;  ///< copy of the callback's member
};

/// The SDK's operations. The instance carries no state of its own: any
/// instance, also a default-constructed one, reaches the same SDK.
class KESTREL_API KestrelAds {
 public:
  KestrelAds() = default;                              ///< an instance that reaches the SDK
  KestrelAds(const KestrelAds&) = default;             ///< copies share the SDK
  KestrelAds& operator=(const KestrelAds&);            ///< copies share the SDK
  KestrelAds& operator=(KestrelAds&&) noexcept;        ///< copies share the SDK

  /// Starts initialisation and returns at once. The future yields the SDK
  /// instance once the configuration has been fetched and applied and the
  /// callback has run (whether it succeeded or failed), or null when
  /// initialisation failed with an error; dropping it does not wait. The
  /// result is told through the callback, on the SDK's callback thread. A
  /// call while one runs is told that one's outcome; a call after a success
  /// reports success again with the same instance; a call after a failure
  /// fetches the configuration again and reports what that brings. The form
  /// without KestrelSdkConfig has no ConfigBaseUrl and so always fails.
  static std::future<KestrelAds*> InitializeAsync(std::string appId, WindowHandle publisherWindow,
                                                  InitializationCallback callback);
  /// InitializeAsync with options.
  static std::future<KestrelAds*> InitializeAsync(std::string appId, KestrelSdkConfig config,
                                                  WindowHandle publisherWindow, InitializationCallback callback);

  /// Requests an ad for the placement and downloads it in the background;
  /// returns at once. The result reaches one of the callbacks on the SDK's
  /// callback thread: at once when the placement has an ad ready ("already
  /// loaded" success), sleeps, is unknown, or the SDK is not configured yet
  /// or its configuration failed. A call while the placement's load is in
  /// flight joins it. Returns false, calling nothing, before InitializeAsync.
  bool LoadAd(std::string placement, AdLoadCallback callback);

  /// Loads the ad of a header-bidding win from its markup; returns at once,
  /// and the result reaches a callback as for LoadAd. Returns false, calling
  /// nothing, when the SDK is not initialised, the markup cannot be used or
  /// the placement is unknown.
  bool LoadMediatedAd(std::string placement, AdLoadCallback callback, std::string adMarkup);

  /// The callbacks that hear what the SDK loads for the placement by itself,
  /// on the SDK's callback thread: each automatic load of an auto-cached
  /// placement, and OnAdLoadFailure with a message ending in "expired." when
  /// a loaded ad of the placement expires (Count is then the ads still ready).
  /// An auto-cached placement (PlacementRecord::IsAutoCached; not header
  /// bidding) is loaded after initialisation, again when each play ends and
  /// when its ad expires, and after a failed load again after 1 s, 2 s, 4 s
  /// ... up to 64 s between tries until one succeeds; never while the server
  /// has put it to sleep (it tries when the sleep ends). A LoadAd of it while
  /// that load is in flight joins it; one during a back-off is told at once
  /// the last failure and when the next try comes. May be set before
  /// initialisation and stays set; empty members remove the callbacks.
  static void SetLoadCallback(std::string placement, AdLoadCallback callback);

  /// True when the placement has a downloaded ad ready to play; false before
  /// initialisation. An ad is ready until it is played or expires: the server
  /// gives each ad an expiry time, after which it is not played (PlayAd
  /// refuses it with a message saying it expired) and its files are deleted.
  bool IsAdPlayable(std::string placement);

  /// Plays a loaded ad over the publisher's window. Call it on the thread that
  /// runs the window's event loop; the play callbacks arrive on that thread.
  /// A play that cannot show (another thread, no live window, an ad on
  /// screen, nothing loaded) has Success false and OnAdPlayFailure is called;
  /// nothing of the loaded ad is spent. A play from OnAdEnd works.
  KestrelAdPlayInfo PlayAd(std::string placement, AdPlayCallback callback);
  /// PlayAd with per-play options.
  KestrelAdPlayInfo PlayAd(std::string placement, AdPlayCallback callback, AdConfig config);

  /// Plays an ad loaded with LoadMediatedAd for a header-bidding placement:
  /// the ad of the bid whose markup is given, whose impressions it fires; it
  /// refuses when that bid's ad is not loaded (never loaded, still
  /// downloading, played, expired, or dropped from the placement's cache). A
  /// placement keeps at most PlacementRecord::MaxHbCache loaded bids (at
  /// least one): when a newer bid's ad has downloaded, the oldest goes.
  KestrelAdPlayInfo PlayMediatedAd(AdConfig config, std::string placement, AdPlayCallback callback,
                                   std::string adMarkup);

  /// The bid token for a mediation layer; empty before initialisation.
  std::string GetMediationSuperToken(std::string argument);

  /// Every diagnostic event is written to standard output and given to each
  /// listener, on the thread that logged it. Listeners may be registered
  /// before initialisation.
  static void AddDiagnosticListener(std::function<void(DiagnosticLogEvent)> listener);
  /// Removes the listeners that wrap the same plain function; lambdas cannot be removed.
  static void RemoveDiagnosticListener(std::function<void(DiagnosticLogEvent)> listener);

  /// @name Privacy choices
  /// They work before initialisation too (reading and writing the stored
  /// choices) and are sent with every later request.
  /// @{
  static GdprConsentStatus GetGdprConsentStatus();  ///< Accepted when nothing was stored
  /// Stores the consent with the version of the consent message the user saw.
  static void SetGdprConsentStatus(GdprConsentStatus status, std::string consentMessageVersion);
  static void ResetGdprConsentStatusToUnknown();  ///< needs an initialised SDK
  static std::string GetGdprConsentMessageVersion();  ///< the stored consent message version
  static CcpaConsentStatus GetCcpaStatus();  ///< OptedIn when nothing was stored
  static void SetCcpaStatus(CcpaConsentStatus status);  ///< stores the CCPA choice
  static bool GetCoppaStatus();  ///< the COPPA flag; false when nothing was stored
  static void SetCoppaStatus(bool status);  ///< stores the COPPA flag
  static bool GetDisableASHWID();  ///< the hardware-id opt-out; false when nothing was stored
  static void SetDisableAshwidTracking(bool disable);  ///< stores the hardware-id opt-out
  /// @}

 private:
  static KestrelAdPlayInfo PlayAdInternal(AdConfig config, std::string placement, AdPlayCallback callback,
                                          std::string adMarkup);
};

}  // namespace kestrel

/// Prints every device fact, the request's device section and the app's facts to standard output.
extern "C" KESTREL_API void TestDeviceInfo(kestrel::WindowHandle window, const std::string& appId);
