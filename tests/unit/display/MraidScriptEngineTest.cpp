// The MRAID script's JS tests (tests/js/*.test.js) in the real web engine.
// The scripts in tests/js/engine stand in for node:test, node:assert/strict
// and the harness; each test file runs in their page against the embedded
// script, and its results come back through a script message handler.

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "display/MraidScript.h"
#include "support/GtkPump.h"
#include "support/Wait.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

const fs::path kEngineDir = KESTREL_JS_ENGINE_DIR;

// These test the copy built into the library with node:fs and a child
// process; they run under Node only.
const std::set<std::string> kNodeOnly = {"embedded-script.test.js"};

std::vector<std::string> TestFiles() {
  std::vector<std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(kEngineDir.parent_path(), error)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(".test.js") && !kNodeOnly.contains(name)) files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::optional<std::string> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

using test::Pump;

bool PumpUntil(const std::function<bool()>& condition) {
  return test::PumpUntil(condition, std::chrono::seconds(60));
}

// A shown web view with the test page loaded.
class MraidScriptEngineRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("NO_AT_BRIDGE", "1", 1);  // the accessibility bridge leaks at start-up
    if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    cancellable = g_cancellable_new();
    content = webkit_user_content_manager_new();
    webkit_user_content_manager_register_script_message_handler(content, "kestrelTests");
    messageHandler = g_signal_connect(content, "script-message-received::kestrelTests", G_CALLBACK(OnMessage), this);
    view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_user_content_manager(content));
    loadHandler = g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), this);
    // Shown, so that the engine does not slow the page's timers down.
    window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 320, 240);
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
    gtk_widget_show_all(window);

    std::string page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\">";
    for (const char* name : {"modules.js", "assert.js", "node-test.js", "harness.js"}) {
      const auto text = ReadFile(kEngineDir / name);
      ASSERT_TRUE(text) << "cannot read " << (kEngineDir / name);
      page += "<script>" + *text + "</script>";
    }
    page += "</head><body></body></html>";
    // An http origin, nothing is fetched from it: a file:// page is an opaque
    // origin whose errors reach window.onerror as "Script error." only.
    webkit_web_view_load_html(view, page.c_str(), "http://127.0.0.1/");
    ASSERT_TRUE(PumpUntil([&] { return loaded; })) << "the test page did not load";
  }

  void TearDown() override {
    if (!content) return;
    g_signal_handler_disconnect(view, loadHandler);
    g_signal_handler_disconnect(content, messageHandler);
    webkit_user_content_manager_unregister_script_message_handler(content, "kestrelTests");
    g_cancellable_cancel(cancellable);
    gtk_widget_destroy(window);  // takes the view with it
    g_object_unref(content);
    Pump();
    g_object_unref(cancellable);
  }

  // Runs a test file's text in the page; returns its report, or a
  // description of what went wrong instead.
  nlohmann::json RunFile(const std::string& name, const std::string& text, std::string& problem) {
    report.reset();
    evaluateError.clear();
    const std::string call = "kestrelEngine.runFile(" + nlohmann::json(name).dump() + ", " +
                             nlohmann::json(text).dump() + ", " + nlohmann::json(std::string(MraidScript())).dump() +
                             "); undefined";
    webkit_web_view_evaluate_javascript(view, call.data(), static_cast<gssize>(call.size()), nullptr, nullptr,
                                        cancellable, OnEvaluated, this);
    if (!PumpUntil([&] { return report.has_value() || !evaluateError.empty(); })) {
      problem = "no results from " + name + " within the deadline";
      return {};
    }
    if (!evaluateError.empty()) {
      problem = "the runner page failed: " + evaluateError;
      return {};
    }
    return *report;
  }

  static void OnLoadChanged(WebKitWebView* /*view*/, WebKitLoadEvent event, gpointer data) {
    if (event == WEBKIT_LOAD_FINISHED) static_cast<MraidScriptEngineRunnerTest*>(data)->loaded = true;
  }

  static void OnEvaluated(GObject* source, GAsyncResult* result, gpointer data) {
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
    if (error) {
      // A cancelled call belongs to a fixture that is gone.
      if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        static_cast<MraidScriptEngineRunnerTest*>(data)->evaluateError = error->message;
      g_error_free(error);
    }
    if (value) g_object_unref(value);
  }

  static void OnMessage(WebKitUserContentManager* /*content*/, WebKitJavascriptResult* message, gpointer data) {
    auto* self = static_cast<MraidScriptEngineRunnerTest*>(data);
    gchar* text = jsc_value_to_string(webkit_javascript_result_get_js_value(message));
    self->report = nlohmann::json::parse(text ? text : "", nullptr, false);
    g_free(text);
  }

  GCancellable* cancellable = nullptr;
  WebKitUserContentManager* content = nullptr;
  WebKitWebView* view = nullptr;
  GtkWidget* window = nullptr;
  gulong messageHandler = 0;
  gulong loadHandler = 0;
  bool loaded = false;
  std::optional<nlohmann::json> report;
  std::string evaluateError;
};

struct Outcome {
  int passed = 0;
  int skipped = 0;
  std::vector<std::string> failed;  // name and message
  std::vector<std::string> names;   // with their status, "pass: name"
};

Outcome Tally(const nlohmann::json& report) {
  Outcome outcome;
  if (!report.is_object() || !report.contains("results") || !report["results"].is_array()) {
    outcome.failed.push_back("unreadable report: " + report.dump());
    return outcome;
  }
  for (const auto& entry : report["results"]) {
    const std::string status = entry.value("status", "");
    const std::string name = entry.value("name", "?");
    outcome.names.push_back(status + ": " + name);
    if (status == "pass") {
      ++outcome.passed;
    } else if (status == "skip") {
      ++outcome.skipped;
    } else {
      outcome.failed.push_back(name + "\n  " + entry.value("message", ""));
    }
  }
  return outcome;
}

class MraidScriptEngineTest : public MraidScriptEngineRunnerTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(MraidScriptEngineTest, PassesInTheWebEngine) {
  const auto text = ReadFile(kEngineDir.parent_path() / GetParam());
  ASSERT_TRUE(text) << "cannot read " << GetParam();
  std::string problem;
  const nlohmann::json result = RunFile(GetParam(), *text, problem);
  ASSERT_TRUE(problem.empty()) << problem;

  const Outcome outcome = Tally(result);
  std::string failures;
  for (const auto& failure : outcome.failed) failures += "\n- " + failure;
  EXPECT_TRUE(failures.empty()) << GetParam() << " has failing tests:" << failures;
  EXPECT_GT(outcome.passed, 0) << GetParam() << " ran no test";
  std::cout << GetParam() << ": " << outcome.passed << " passed, " << outcome.skipped << " skipped\n";
}

TEST(MraidScriptEngineFilesTest, AreFound) {
  const auto files = TestFiles();
  EXPECT_NE(std::find(files.begin(), files.end(), "mraid-api.test.js"), files.end())
      << "no test files in " << kEngineDir.parent_path();
}

std::string ParamName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param.substr(0, info.param.size() - std::string(".test.js").size());
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(JsTests, MraidScriptEngineTest, ::testing::ValuesIn(TestFiles()), ParamName);

// The stand-ins fail where Node would: each "fails:" test below must be
// reported failed, each "passes:" test passed; an error that escapes a test
// is reported as a failure named in brackets.
constexpr const char* kRunnerCheck = R"js(
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const { createPage, plain } = require('./harness');

const failing = {
  'array length': () => assert.deepEqual([1], [1, 2]),
  'value type': () => assert.deepEqual({ a: 1 }, { a: '1' }),
  'undefined key against a missing key': () => assert.deepEqual({ a: undefined }, {}),
  'array of the page realm': () => {
    const page = createPage();
    try {
      assert.deepEqual(page.run('[1]'), [1]);
    } finally {
      page.close();
    }
  },
  'zero and minus zero': () => assert.equal(0, -0),
  'text against number': () => assert.equal('1', 1),
  'notEqual of equals': () => assert.notEqual(1, 1),
  'ok of zero': () => assert.ok(0),
  'throws without a throw': () => assert.throws(() => {}),
  'throws, message not matching': () => assert.throws(() => { throw new Error('a'); }, /b/),
  'throws, validation not true': () => assert.throws(() => { throw new Error('a'); }, () => false),
  'throws, other name': () => assert.throws(() => { throw new TypeError('x'); }, { name: 'RangeError' }),
  'doesNotThrow with a throw': () => assert.doesNotThrow(() => { throw new Error('x'); }),
  'match, no match': () => assert.match('abc', /d/),
  'match of a number': () => assert.match(42, /4/),
  'async body rejecting': async () => {
    await Promise.resolve();
    throw new Error('late');
  },
  'waitFor past its deadline': async () => {
    const page = createPage();
    try {
      await page.channel.waitFor(() => false, 50);
    } finally {
      page.close();
    }
  }
};
for (const [name, fn] of Object.entries(failing)) {
  test('fails: ' + name, fn);
}

test('fails: parent of a failing subtest', async (t) => {
  await t.test('passes: first child', () => {});
  await t.test('fails: second child', () => assert.ok(false));
});

test('passes: values copied out of the page compare', () => {
  const page = createPage();
  assert.deepEqual(plain(page.run('({ a: [1, { b: null }] })')), { a: [1, { b: null }] });
  assert.throws(() => page.run('throw new TypeError("x")'), { name: 'TypeError', message: 'x' });
  assert.equal(NaN, NaN);
  page.close();
});

test('skipped', { skip: 'not here' }, () => assert.ok(false));

// The stray error fails the file as a test of its own.
test('passes: leaves an error thrown from a timer', async () => {
  setTimeout(() => {
    throw new Error('stray');
  }, 0);
  await new Promise((resolve) => setTimeout(resolve, 0));
});
)js";

TEST_F(MraidScriptEngineRunnerTest, StandInsFailWhereNodeWould) {
  std::string problem;
  const Outcome outcome = Tally(RunFile("runner-check.test.js", kRunnerCheck, problem));
  ASSERT_TRUE(problem.empty()) << problem;
  for (const auto& name : outcome.names) {
    // "status: parent > child": the last part names the status it wants.
    const std::size_t child = name.rfind(" > ");
    const std::string last = child == std::string::npos ? name.substr(name.find(": ") + 2) : name.substr(child + 3);
    const std::string status = name.substr(0, name.find(": "));
    const std::string wanted = last.starts_with("fails:") || last.starts_with("(") ? "fail"
                               : last.starts_with("passes:")                       ? "pass"
                                                                                   : "skip";
    EXPECT_EQ(status, wanted) << name;
  }
  EXPECT_EQ(outcome.failed.size(), 20u);  // 17 cases, the parent and its child, the stray error
  EXPECT_EQ(outcome.passed, 3);
  EXPECT_EQ(outcome.skipped, 1);
}

TEST_F(MraidScriptEngineRunnerTest, FilesThatCannotLoadFail) {
  std::string problem;
  Outcome outcome = Tally(RunFile("broken.test.js", "test('x', () => {", problem));
  ASSERT_TRUE(problem.empty()) << problem;
  ASSERT_EQ(outcome.failed.size(), 1u);
  EXPECT_TRUE(outcome.failed[0].starts_with("(loading broken.test.js)")) << outcome.failed[0];

  outcome = Tally(RunFile("node-only.test.js", "require('node:fs');", problem));
  ASSERT_EQ(outcome.failed.size(), 1u);
  EXPECT_NE(outcome.failed[0].find("require('node:fs') is not available"), std::string::npos) << outcome.failed[0];
}

}  // namespace
}  // namespace kestrel
