// The C interface's argument checks: every required pointer, and the size of
// the caller's records.
#include "support/TestPrelude.h"

#include <cctype>
#include <ostream>

#include "base/Log.h"
#include "kestrel/kestrel.h"
#include "sdk/SdkState.h"

namespace kestrel {
namespace {

struct BadCall {
  const char* error;  // the Error line it must log
  int expected;
  std::function<int()> call;
};

// The case's name: its Error line up to the first full stop, in letters, digits and underscores.
std::string CaseName(const ::testing::TestParamInfo<BadCall>& param) {
  std::string name;
  for (const char* c = param.param.error; *c && *c != '.'; ++c)
    name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
  return name;
}

void PrintTo(const BadCall& call, std::ostream* out) {
  *out << call.error;
}

class CInterfaceTest : public ::testing::TestWithParam<BadCall> {
 protected:
  void SetUp() override { SdkState::Reset(); }
  void TearDown() override { SdkState::Reset(); }
  test::ScopedDataHome dataHome;
};

TEST_P(CInterfaceTest, IsRefusedWithOneErrorLine) {
  LogCapture log;
  EXPECT_EQ(GetParam().call(), GetParam().expected);
  EXPECT_EQ(log.Count(GetParam().error, LogLevel::Error), 1);
  EXPECT_EQ(log.Events().size(), 1u);
}

kestrel_config config{sizeof(kestrel_config), nullptr, KESTREL_CHOICE_UNSET, KESTREL_CCPA_UNSET, KESTREL_CHOICE_UNSET, 0,
                      KESTREL_LOG_TRACE, KESTREL_CHOICE_UNSET};
kestrel_play_options options{sizeof(kestrel_play_options), nullptr, nullptr, nullptr, nullptr, nullptr};
kestrel_play_info playInfo{sizeof(kestrel_play_info), 0, nullptr, nullptr, nullptr, nullptr, nullptr};
kestrel_config unsized{};
kestrel_play_options unsizedOptions{};
kestrel_play_info unsizedInfo{};
char* text = nullptr;
constexpr int kNull = KESTREL_ERROR_NULL_ARGUMENT;
constexpr int kSize = KESTREL_ERROR_INVALID_ARGUMENT;

INSTANTIATE_TEST_SUITE_P(NullPointers, CInterfaceTest, ::testing::Values(
  BadCall{"kestrel_initialize: app_id is null.", kNull, [] { return kestrel_initialize(nullptr, nullptr, nullptr, nullptr); }},
  BadCall{"kestrel_initialize_with_config: app_id is null.", kNull,
          [] { return kestrel_initialize_with_config(nullptr, &config, nullptr, nullptr, nullptr); }},
  BadCall{"kestrel_initialize_with_config: config is null.", kNull,
          [] { return kestrel_initialize_with_config("app", nullptr, nullptr, nullptr, nullptr); }},
  BadCall{"kestrel_load: placement is null.", kNull, [] { return kestrel_load(nullptr, nullptr, nullptr); }},
  BadCall{"kestrel_load_mediated: placement is null.", kNull,
          [] { return kestrel_load_mediated(nullptr, "{}", nullptr, nullptr); }},
  BadCall{"kestrel_load_mediated: ad_markup is null.", kNull,
          [] { return kestrel_load_mediated("p", nullptr, nullptr, nullptr); }},
  BadCall{"kestrel_is_playable: placement is null.", 0, [] { return kestrel_is_playable(nullptr); }},
  BadCall{"kestrel_play: placement is null.", kNull, [] { return kestrel_play(nullptr, nullptr, nullptr, &playInfo); }},
  BadCall{"kestrel_play: info is null.", kNull, [] { return kestrel_play("p", nullptr, nullptr, nullptr); }},
  BadCall{"kestrel_play_with_options: placement is null.", kNull,
          [] { return kestrel_play_with_options(nullptr, &options, nullptr, nullptr, &playInfo); }},
  BadCall{"kestrel_play_with_options: options is null.", kNull,
          [] { return kestrel_play_with_options("p", nullptr, nullptr, nullptr, &playInfo); }},
  BadCall{"kestrel_play_with_options: info is null.", kNull,
          [] { return kestrel_play_with_options("p", &options, nullptr, nullptr, nullptr); }},
  BadCall{"kestrel_play_mediated: placement is null.", kNull,
          [] { return kestrel_play_mediated(nullptr, "{}", &options, nullptr, nullptr, &playInfo); }},
  BadCall{"kestrel_play_mediated: ad_markup is null.", kNull,
          [] { return kestrel_play_mediated("p", nullptr, &options, nullptr, nullptr, &playInfo); }},
  BadCall{"kestrel_play_mediated: options is null.", kNull,
          [] { return kestrel_play_mediated("p", "{}", nullptr, nullptr, nullptr, &playInfo); }},
  BadCall{"kestrel_play_mediated: info is null.", kNull,
          [] { return kestrel_play_mediated("p", "{}", &options, nullptr, nullptr, nullptr); }},
  BadCall{"kestrel_get_mediation_token: argument is null.", kNull,
          [] { return kestrel_get_mediation_token(nullptr, &text); }},
  BadCall{"kestrel_get_mediation_token: token is null.", kNull,
          [] { return kestrel_get_mediation_token("", nullptr); }},
  BadCall{"kestrel_add_diagnostic_listener: listener is null.", kNull,
          [] { return kestrel_add_diagnostic_listener(nullptr, nullptr); }},
  BadCall{"kestrel_remove_diagnostic_listener: listener is null.", kNull,
          [] { return kestrel_remove_diagnostic_listener(nullptr, &text); }},
  BadCall{"kestrel_set_gdpr_consent_status: consent_message_version is null.", kNull,
          [] { return kestrel_set_gdpr_consent_status(KESTREL_GDPR_DENIED, nullptr); }},
  BadCall{"kestrel_get_gdpr_consent_message_version: version is null.", kNull,
          [] { return kestrel_get_gdpr_consent_message_version(nullptr); }},
  BadCall{"kestrel_test_device_info: app_id is null.", kNull, [] { return kestrel_test_device_info(nullptr, nullptr); }}),
  CaseName);

INSTANTIATE_TEST_SUITE_P(UnsizedRecords, CInterfaceTest, ::testing::Values(
  BadCall{"kestrel_initialize_with_config: config->size is 0, less than 8.", kSize,
          [] { return kestrel_initialize_with_config("app", &unsized, nullptr, nullptr, nullptr); }},
  BadCall{"kestrel_play: info->size is 0, less than 12.", kSize,
          [] { return kestrel_play("p", nullptr, nullptr, &unsizedInfo); }},
  BadCall{"kestrel_play_with_options: options->size is 0, less than 8.", kSize,
          [] { return kestrel_play_with_options("p", &unsizedOptions, nullptr, nullptr, &playInfo); }},
  BadCall{"kestrel_play_mediated: info->size is 0, less than 12.", kSize,
          [] { return kestrel_play_mediated("p", "{}", &options, nullptr, nullptr, &unsizedInfo); }}),
  CaseName);

// What callbacks were told, from any thread.
struct Calls {
  bool dropOnFailure = false;
  std::mutex mutex;
  std::string text;
  void Add(const std::string& call) {
    std::lock_guard lock(mutex);
    text += call;
  }
  std::string Get() {
    std::lock_guard lock(mutex);
    return text;
  }
};

// A play the SDK refuses is told as a failure before the call returns, then released on the callback thread.
TEST(CInterfacePlayTest, ARefusedPlayIsToldThenReleased) {
  SdkState::Reset();
  Calls kinds;
  auto record = [](void* user, kestrel_play_event_kind kind, const kestrel_play_event* event) {
    static_cast<Calls*>(user)->Add(std::to_string(kind) + (event ? event->placement_id : "-") + ";");
  };
  kestrel_play_info result = playInfo;
  EXPECT_EQ(kestrel_play("p", record, &kinds, &result), KESTREL_ERROR_REFUSED);
  EXPECT_TRUE(kinds.Get().starts_with("5p;"));
  EXPECT_TRUE(WaitUntil([&] { return kinds.Get() == "5p;6-;"; })) << kinds.Get();
  EXPECT_EQ(result.success, 0);
  EXPECT_STREQ(result.message, "Can't load placement if placements aren't initialized yet!");
}

// Dropped from inside a callback: the play's release and the listener given before are never called; later ones are.
TEST(CInterfacePlayTest, DroppedCallbacksAreNeverCalledAgain) {
  SdkState::Reset();
  Calls before, after;
  auto listen = [](void* user, const kestrel_log_event*) { static_cast<Calls*>(user)->Add("log;"); };
  auto play = [](void* user, kestrel_play_event_kind kind, const kestrel_play_event*) {
    auto* calls = static_cast<Calls*>(user);
    calls->Add(std::to_string(kind) + ";");
    if (kind == KESTREL_AD_PLAY_FAILURE && calls->dropOnFailure) kestrel_drop_callbacks();
  };
  before.dropOnFailure = true;
  kestrel_add_diagnostic_listener(listen, &before);
  kestrel_play_info result = playInfo;
  kestrel_play("p", play, &before, &result);
  const std::string dropped = before.Get();
  kestrel_add_diagnostic_listener(listen, &after);
  kestrel_play("p", play, &after, &result);
  EXPECT_TRUE(WaitUntil([&] { return after.Get().ends_with("6;"); }) && after.Get().starts_with("log;")) << after.Get();
  EXPECT_EQ(before.Get(), dropped);
  EXPECT_TRUE(dropped.starts_with("log;") && dropped.ends_with("5;")) << dropped;
  kestrel_drop_callbacks();
}

// The C form's log options: with the console off and the level at Warn, nothing is printed and no Info line is heard.
TEST(CInterfaceLogTest, TheConfigsLogOptionsTakeEffect) {
  SdkState::Reset();
  test::ScopedDataHome dataHome;
  kestrel_config quiet = config;
  quiet.config_base_url = "http://127.0.0.1:9";  // nothing listens: initialisation fails at Error
  quiet.log_minimum_level = KESTREL_LOG_WARN;
  quiet.log_to_console = KESTREL_CHOICE_NO;
  test::LogCapture capture;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(kestrel_initialize_with_config("app", &quiet, nullptr, nullptr, nullptr), KESTREL_OK);
  kestrel_wait_initialization(60000);
  const std::string out = ::testing::internal::GetCapturedStdout();
  SdkState::Reset();
  SetLogOutput(LogLevel::Trace, true);
  EXPECT_EQ(out, "");
  const auto events = capture.Events();
  EXPECT_FALSE(events.empty());
  EXPECT_TRUE(std::all_of(events.begin(), events.end(), [](const auto& e) { return e.Level >= LogLevel::Warn; }));
}

}  // namespace
}  // namespace kestrel
