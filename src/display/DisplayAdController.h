#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "kestrel/KestrelAds.h"

namespace kestrel {

class AdResponse;
class TpatsModel;
class IAdPlayEvents;
class DisplayOverlayAdView;

// One play of an ad: created by the placement on the thread that owns the
// publisher window; shows the ad and relays what the creative reports.
// The creative's actions are virtual so that the command receiver can be
// driven without a window.
class DisplayAdController : public std::enable_shared_from_this<DisplayAdController> {
 public:
  DisplayAdController(const std::string& bundleFolder, bool incentivized, IAdPlayEvents* placement,
                      const AdResponse& ad, const AdConfig& config);
  virtual ~DisplayAdController();
  DisplayAdController(const DisplayAdController&) = delete;
  DisplayAdController& operator=(const DisplayAdController&) = delete;

  // The creative's "open" hands a url to the browser at most once in this interval,
  static constexpr std::chrono::seconds kOpenInterval{2};
  // and one play sends at most this many of its tracking events.
  static constexpr int kMaxTrackingEventsPerPlay = 50;

  // The play failure message for a play whose ad cannot show.
  static std::string CannotShowMessage(const std::string& reason);
  // Why a play with these options cannot show now (off the window's thread,
  // no live window, another ad on screen); empty when it can.
  static std::string WhyCannotShow(const AdConfig& config);

  virtual void CloseAd();
  // The user closed the ad with the SDK's own control: the ad ends as by the
  // creative's close, with its close tracking.
  void CloseBySdk();
  // Whether the creative's "open" may open its url and count as a click now.
  virtual bool AllowsOpen(const std::string& url);
  // Whether the creative's tracking event may be sent.
  bool AllowsTrackingEvent();
  virtual void OnAdClicked();
  virtual void OnSuccessfulView();
  std::shared_ptr<TpatsModel> GetTpatsModel() const { return m_tpats; }
  // The ad's window opened without a browser in it: the play cannot show anything.
  bool CannotShow() const;
  // Why the ad cannot show; empty while nothing failed.
  std::string Failure() const;
  // The browser stopped or never started: the play fails and the overlay closes.
  void OnWebViewFailed(const std::string& reason);

  // The template's replacements with local paths for the downloaded parts
  // ("templateURL", "APP_ICON", "APP_RATING", "FONT_URL", "MAIN_VIDEO") and
  // the AdConfig's texts. Empty once the ad is closed.
  std::unordered_map<std::string, std::string> GetAllReplacements() const;

 protected:
  DisplayAdController() = default;  // for test doubles of the creative's side

 private:
  // Closes the view and lets go of the ad.
  void EndPlay();

  std::shared_ptr<TpatsModel> m_tpats;
  std::shared_ptr<DisplayOverlayAdView> m_view;
  std::shared_ptr<AdResponse> m_ad;
  std::string m_bundleFolder;
  bool m_incentivized = false;
  IAdPlayEvents* m_placement = nullptr;
  std::string m_incentivizedTitleText;
  std::string m_incentivizedBodyText;
  std::string m_incentivizedCloseText;
  std::string m_incentivizedContinueText;
  WindowHandle m_targetWindow = nullptr;
  WindowHandle m_initWindow = nullptr;  // the window given at initialisation
  std::optional<std::chrono::steady_clock::time_point> m_lastOpen;
  int m_droppedOpens = 0;
  int m_trackingEvents = 0;
  bool m_closingBySdk = false;
};

}  // namespace kestrel
