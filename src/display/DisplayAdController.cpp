#include "display/DisplayAdController.h"

#include "base/ControllerRegistry.h"
#include "base/Log.h"
#include "device/IDeviceInfoController.h"
#include "display/DisplayOverlayAdView.h"
#include "display/IAdPlayEvents.h"
#include "display/IMraidCommandReceiverController.h"
#include "platform/Backend.h"
#include "platform/PlatformServices.h"
#include "platform/Paths.h"
#include "server/AdResponse.h"
#include "server/TpatsModel.h"
#include "storage/FileSystemController.h"
#include "storage/IFileSystemController.h"

namespace kestrel {

using R = ControllerRegistry;

DisplayAdController::DisplayAdController(const std::string& bundleFolder, bool incentivized,
                                         IAdPlayEvents* placement, const AdResponse& ad, const AdConfig& config)
    : m_ad(std::make_shared<AdResponse>(ad)),
      m_bundleFolder(bundleFolder),
      m_incentivized(incentivized),
      m_placement(placement),
      m_incentivizedTitleText(config.IncentivizedTitleText),
      m_incentivizedBodyText(config.IncentivizedBodyText),
      m_incentivizedCloseText(config.IncentivizedCloseText),
      m_incentivizedContinueText(config.IncentivizedContinueText),
      m_targetWindow(config.Window) {
  m_tpats = std::make_shared<TpatsModel>(m_ad);
  if (auto device = R::GetDeviceInfoController()) m_initWindow = device->GetWindowHandle();
  m_view = DisplayOverlayAdView::Create(m_bundleFolder, m_ad->m_templateType, m_incentivized,
                                        m_targetWindow ? m_targetWindow : m_initWindow, GetAllReplacements(), this);
}

DisplayAdController::~DisplayAdController() = default;

bool DisplayAdController::CannotShow() const {
  return m_view && m_view->OpenedWithoutWebView();
}

std::string DisplayAdController::CannotShowMessage(const std::string& reason) {
  return "The ad could not be shown: " + reason;
}

std::string DisplayAdController::WhyCannotShow(const AdConfig& config) {
  WindowHandle window = config.Window;
  if (!window) {
    if (auto device = R::GetDeviceInfoController()) window = device->GetWindowHandle();
  }
  if (!window) return "no window to show the ad over: pass one to InitializeAsync or in AdConfig.";
  if (!IsWindowThread(window)) return "PlayAd must be called on the thread that runs the publisher window's event loop.";
  if (!IsLiveWindow(window)) return "the window handle is not a live window.";
  if (auto current = DisplayOverlayAdView::Current(); current && !current->Ending()) return "another ad is on screen.";
  if (auto system = PlatformServices::SystemInfo(); system && system->ExclusiveFullScreen()) {
    return "a program holds the screen in exclusive full-screen mode; an ad over it would minimise it. "
           "Play ads while the game is windowed or borderless.";
  }
  return {};
}

std::string DisplayAdController::Failure() const {
  return m_view ? m_view->Failure() : std::string();
}

std::unordered_map<std::string, std::string> DisplayAdController::GetAllReplacements() const {
  if (!m_ad || !R::GetFileSystemController() || m_bundleFolder.empty()) {
    LogError("Can't GetAllReplacements because we're not initialized!");
    return {};
  }
  auto replacements = m_ad->GetTemplateReplacements();
  // The creative finds these parts in the bundle folder, under the names they were saved with.
  for (const char* key : {"templateURL", "APP_ICON", "APP_RATING", "FONT_URL", "MAIN_VIDEO"}) {
    auto it = replacements.find(key);
    if (it == replacements.end()) continue;
    it->second = JoinPath(m_bundleFolder, FileSystemController::PartFileName(it->second));
  }
  const struct {
    const std::string& text;
    const char* key;
    const char* logText;
  } texts[] = {
      {m_incentivizedTitleText, "INCENTIVIZED_TITLE_TEXT", "Changing Incentivized Title to "},
      {m_incentivizedBodyText, "INCENTIVIZED_BODY_TEXT", "Changing Incentivized Body to "},
      {m_incentivizedCloseText, "INCENTIVIZED_CLOSE_TEXT", "Changing Incentivized Close to "},
      {m_incentivizedContinueText, "INCENTIVIZED_CONTINUE_TEXT", "Changing Incentivized Continue to "},
  };
  for (const auto& entry : texts) {
    if (entry.text.empty()) continue;
    replacements[entry.key] = entry.text;
    LogInfo(entry.logText + entry.text);
  }
  return replacements;
}

void DisplayAdController::CloseAd() {
  // The publisher hears while the page is still there, and may start the
  // next play from its callback, which releases this one.
  auto self = weak_from_this().lock();
  if (m_view) m_view->MarkEnding();
  if (m_placement) m_placement->NotifyAdClosed();
  EndPlay();
}

void DisplayAdController::OnWebViewFailed(const std::string& reason) {
  auto self = weak_from_this().lock();
  if (m_view) m_view->MarkEnding();
  if (m_placement) m_placement->NotifyAdPlayFailed(CannotShowMessage(reason));
  EndPlay();
}

void DisplayAdController::CloseBySdk() {
  auto self = weak_from_this().lock();
  // The close tracking is the SDK's here: the creative's cap does not hold it back.
  m_closingBySdk = true;
  if (auto receiver = R::GetMraidCommandReceiverController()) {
    receiver->ProcessReceivedMraidCommand("mraid://tpat?event=close", this);
  }
  CloseAd();
}

bool DisplayAdController::AllowsOpen(const std::string& url) {
  const auto now = std::chrono::steady_clock::now();
  if (!m_lastOpen || now - *m_lastOpen >= kOpenInterval) {
    m_lastOpen = now;
    return true;
  }
  if (m_droppedOpens++ == 0) {
    LogWarn("The creative opens urls faster than one in " + std::to_string(kOpenInterval.count()) +
            " seconds; not opened and not counted as a click: " + url);
  }
  return false;
}

bool DisplayAdController::AllowsTrackingEvent() {
  if (m_closingBySdk) return true;
  if (++m_trackingEvents <= kMaxTrackingEventsPerPlay) return true;
  if (m_trackingEvents == kMaxTrackingEventsPerPlay + 1) {
    LogWarn("The creative sent more than " + std::to_string(kMaxTrackingEventsPerPlay) +
            " tracking events in one play; the rest are not sent.");
  }
  return false;
}

void DisplayAdController::EndPlay() {
  if (m_droppedOpens > 1) LogWarn(std::to_string(m_droppedOpens) + " urls the creative opened too fast were dropped.");
  m_droppedOpens = 0;
  if (m_view) {
    m_view->Close();
    m_view.reset();
  }
  m_ad.reset();
  m_bundleFolder.clear();
  m_placement = nullptr;
}

void DisplayAdController::OnAdClicked() {
  if (m_placement) m_placement->NotifyAdClicked();
}

void DisplayAdController::OnSuccessfulView() {
  LogInfo("Rewarded ad viewed for folder: " + m_bundleFolder);
  if (m_placement) m_placement->NotifyAdRewarded();
  if (m_view) m_view->OnCreativeViewed();
}

}  // namespace kestrel
