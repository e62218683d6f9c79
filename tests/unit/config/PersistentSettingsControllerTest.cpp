#include "support/TestPrelude.h"

#include <sys/prctl.h>
#include <sys/stat.h>

#include <csignal>
#include <random>

#include "config/PersistentSettingsController.h"
#include "unit/config/SelfProcess.h"

namespace kestrel {
namespace {

constexpr const char* kWriterVariable = "KESTREL_TEST_SETTINGS_WRITER";

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The durability test's writer sets these keys in this order to one counter
// value per round, so that any state it leaves is a prefix of a round.
std::string VersionText(long round) {
  return "v" + std::to_string(round) + ":" + std::string(400, 'x');
}

void WriteRound(PersistentSettingsController& settings, std::int32_t round) {
  settings.SetGdprConsentTimestamp(round);
  settings.SetGdprConsentStatus(round);
  settings.SetGdprConsentSource(round);
  settings.SetCcpaInternalConsentStatus(round);
  settings.SetGdprConsentMessageVersion(VersionText(round));
}

// Started as the writer child: changes the settings without pause until it
// is killed (or its parent goes, or a minute has passed).
[[maybe_unused]] const bool kIsWriter = [] {
  const char* folder = std::getenv(kWriterVariable);
  if (folder == nullptr) return false;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  PersistentSettingsController settings(folder);
  const std::int32_t resumed = settings.GetGdprConsentTimestamp();
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  for (std::int32_t round = resumed; std::chrono::steady_clock::now() < end; ++round) WriteRound(settings, round);
  std::_Exit(0);
}();

class PersistentSettingsTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  fs::path file = dir.Path() / "settings.ke";
};

TEST_F(PersistentSettingsTest, ReadsKeyValueLinesOfAnyLineEndAndTypedValues) {
  WriteFile(file,
            "GdprConsentMessageVersion=a=b\r\n"
            "a line without an equals sign\n"
            "\n"
            "CoppaConsentStatus=TRUE\n"
            "CcpaInternalConsentStatus=2x\n"
            "GdprConsentStatus=x\n"
            "GdprConsentSource= -7\n"
            "GdprConsentTimestamp=4294967296\n"
            "WatchForGDPRTimeout=false\n"
            "WatchForGDPRTimeout=true\n"
            "configExtension={\"k\":1}\r\n"
            "PlatformDisabledAdId=true");
  PersistentSettingsController settings(dir.String());
  EXPECT_EQ(settings.GetGdprConsentMessageVersion(), "a=b");
  EXPECT_FALSE(settings.HasSetting("a line without an equals sign"));
  EXPECT_TRUE(settings.HasCoppaConsentStatus());
  EXPECT_FALSE(settings.GetCoppaConsentStatus());
  EXPECT_EQ(settings.GetCcpaInternalConsentStatus(), 2);
  EXPECT_EQ(settings.GetGdprConsentStatus(), 0);
  EXPECT_EQ(settings.GetGdprConsentSource(), -7);
  EXPECT_EQ(settings.GetGdprConsentTimestamp(), 0);
  EXPECT_TRUE(settings.GetWatchForGDPRTimeout());
  EXPECT_EQ(settings.GetConfigExtension(), "{\"k\":1}");
  EXPECT_TRUE(settings.GetPlatformDisabledAdId());
}

TEST_F(PersistentSettingsTest, TheFirstSetterCreatesTheFileInKeyOrderAndAFreshInstanceReadsItBack) {
  const fs::path folder = dir.Path() / "App" / "TovaneSDK";
  {
    PersistentSettingsController settings(folder.string());
    settings.SetGdprConsentMessageVersion("v 1");
    settings.SetCcpaInternalConsentStatus(-1);
    settings.SetConfigExtension("{\"a\":1}");
  }
  EXPECT_EQ(ReadFile(folder / "settings.ke"),
            "CcpaInternalConsentStatus=-1\nGdprConsentMessageVersion=v 1\nconfigExtension={\"a\":1}\n");
  PersistentSettingsController again(folder.string());
  EXPECT_EQ(again.GetCcpaInternalConsentStatus(), -1);
  EXPECT_EQ(again.GetGdprConsentMessageVersion(), "v 1");
  EXPECT_EQ(again.GetConfigExtension(), "{\"a\":1}");
}

TEST_F(PersistentSettingsTest, ValuesThatCannotBeSavedAreLoggedAndNothingHalfWritten) {
  PersistentSettingsController settings(dir.String());
  settings.SetConfigExtension("one");
  test::LogCapture log;
  settings.SetConfigExtension("two\nGdprConsentStatus=1");
  settings.SetGdprConsentMessageVersion("v\r");
  EXPECT_TRUE(log.Has("Can't store configExtension: the value holds a line end", LogLevel::Error));
  EXPECT_TRUE(log.Has("Can't store GdprConsentMessageVersion: the value holds a line end", LogLevel::Error));
  EXPECT_EQ(settings.GetConfigExtension(), "one");
  EXPECT_EQ(ReadFile(file), "configExtension=one\n");

  // A folder that cannot be made: each save is tried, logged, and the value still answers.
  WriteFile(dir.Path() / "not-a-folder", "");
  PersistentSettingsController unsaved((dir.Path() / "not-a-folder").string());
  unsaved.SetCoppaConsentStatus(true);
  unsaved.SetCoppaConsentStatus(true);
  EXPECT_EQ(log.CountStartingWith("Can't save settings: "), 2);
  EXPECT_TRUE(unsaved.GetCoppaConsentStatus());
}

TEST_F(PersistentSettingsTest, SettingTheValueTheFileHoldsDoesNotRewriteIt) {
  // Every save replaces the file with a new one, so its inode tells whether it was rewritten.
  const auto inode = [&] {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 ? info.st_ino : ino_t{0};
  };
  WriteFile(file, "configExtension=one\n");
  PersistentSettingsController settings(dir.String());
  const ino_t loaded = inode();
  settings.SetConfigExtension("one");
  EXPECT_EQ(inode(), loaded) << "the loaded value was written again";
  settings.SetConfigExtension("two");
  EXPECT_NE(inode(), loaded);
}

TEST_F(PersistentSettingsTest, ConcurrentCallersLeaveTheLastValueOfEachKey) {
  PersistentSettingsController settings(dir.String());
  constexpr int kCount = 40;
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    for (int i = 1; i <= kCount; ++i) settings.SetGdprConsentTimestamp(i);
  });
  threads.emplace_back([&] {
    for (int i = 1; i <= kCount; ++i) settings.SetConfigExtension("e" + std::to_string(i));
  });
  threads.emplace_back([&] {
    for (int i = 1; i <= kCount; ++i) settings.SetWatchForGDPRTimeout(i % 2 == 0);
  });
  threads.emplace_back([&] {
    std::int32_t last = 0;
    for (int i = 0; i < kCount; ++i) {
      const std::int32_t now = settings.GetGdprConsentTimestamp();
      EXPECT_GE(now, last);
      last = now;
    }
  });
  for (auto& thread : threads) thread.join();

  EXPECT_EQ(ReadFile(file), "GdprConsentTimestamp=40\nWatchForGDPRTimeout=true\nconfigExtension=e40\n");
}

// What the writer left in the file: every line a key=value line ended by a
// line feed, keys ascending, the five keys of a round and no other, their
// values a prefix of a round. Sets problem when the file breaks any of it.
struct WriterState {
  std::string problem;
  long round = -1;  // the last key's round
};

WriterState ReadWriterState(const fs::path& file) {
  WriterState state;
  const std::string text = ReadFile(file);
  std::map<std::string, std::string> values;
  std::string previousKey;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) return {"unterminated last line"};
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) return {"line without '=': " + line.substr(0, 40)};
    const std::string key = line.substr(0, equals);
    if (!previousKey.empty() && key <= previousKey) return {"keys out of order at " + key};
    previousKey = key;
    values[key] = line.substr(equals + 1);
  }
  const char* keys[] = {"GdprConsentTimestamp", "GdprConsentStatus", "GdprConsentSource", "CcpaInternalConsentStatus"};
  if (values.size() != 5 || !values.count("GdprConsentMessageVersion")) return {"not the five keys"};
  const std::string version = values["GdprConsentMessageVersion"];
  const long round = std::atol(version.c_str() + 1);
  if (version != VersionText(round)) return {"bad version text"};
  std::vector<long> rounds;
  for (const char* key : keys) {
    if (!values.count(key)) return {std::string("missing ") + key};
    rounds.push_back(std::stol(values[key]));
  }
  rounds.push_back(round);
  for (std::size_t i = 1; i < rounds.size(); ++i) {
    if (rounds[i] > rounds[i - 1] || rounds[i] < rounds[0] - 1) return {"not a prefix of a round"};
  }
  state.round = round;
  return state;
}

TEST_F(PersistentSettingsTest, WriterKilledAtRandomMomentsAlwaysLeavesAWholeFile) {
  constexpr int kKills = 100;
  std::mt19937 random(std::random_device{}());
  std::uniform_int_distribution<int> pauseMicros(0, 3000);
  long lastRound = -1;
  for (int kill = 0; kill < kKills; ++kill) {
    const pid_t pid = test::StartSelf(kWriterVariable, dir.String());
    long seenRound = -1;
    const bool writing = test::WaitUntil([&] {
      const WriterState state = ReadWriterState(file);
      if (!state.problem.empty() || state.round <= lastRound) return false;
      seenRound = state.round;
      return true;
    });
    // Kill at a random moment of the writer's work.
    if (writing) std::this_thread::sleep_for(std::chrono::microseconds(pauseMicros(random)));
    ::kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(writing) << "the writer made no progress after kill " << kill;

    const WriterState state = ReadWriterState(file);
    ASSERT_EQ(state.problem, "") << "after kill " << kill << ":\n" << ReadFile(file).substr(0, 300);
    ASSERT_GE(state.round, seenRound) << "a saved round was lost after kill " << kill;
    lastRound = state.round;
  }
}

}  // namespace
}  // namespace kestrel
