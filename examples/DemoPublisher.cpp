// A small publisher application driving the Kestrel SDK through its public header only.
//
//   kestrel-demo [--console | --auto [--screenshot FILE] [--deadline S] [--user-leaves-after S]] [CONFIG_BASE_URL [RECORD_FILE]]
//
// Every run first shows what the SDK does before initialisation and the
// privacy choices an earlier run stored. Then:
//   (default)  a GTK window with buttons to initialise, load and play an ad;
//   --auto     the same window, driven from initialisation to the end of one
//              rewarded ad; exits 0 only when every expected callback arrived
//              and a screenshot of the playing ad was saved;
//              --user-leaves-after S takes the screenshot S seconds into the
//              ad and then presses Escape (for a creative with no close
//              button of its own: the SDK's close control shows by then);
//   --console  no window: device report, initialisation, loads and privacy
//              choices after initialisation.
// CONFIG_BASE_URL is the ad server's base URL (the local one prints it at
// start); RECORD_FILE is the local ad server's --record file, read to show
// what the SDK sent.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "ConsoleDemo.h"
#include "PublisherApp.h"

namespace {

using kestrel::demo::ConsoleDemo;
using kestrel::demo::PublisherApp;

enum class Mode { Window, Automated, Console };

struct Arguments {
  Mode mode = Mode::Window;
  PublisherApp::Options app;
};

const char* const kUsage =
    "usage: kestrel-demo [--console | --auto [--screenshot FILE] [--deadline S] [--user-leaves-after S]] [CONFIG_BASE_URL [RECORD_FILE]]\n";

bool ParseSeconds(const char* text, int& seconds) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 1 || value > 3600) return false;
  seconds = static_cast<int>(value);
  return true;
}

// Returns false after printing what is wrong.
bool Parse(int argc, char** argv, Arguments& args) {
  std::vector<std::string> positional;
  args.app.ScreenshotPath = "kestrel-demo-ad.png";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--console") {
      args.mode = Mode::Console;
    } else if (arg == "--auto") {
      args.mode = Mode::Automated;
    } else if (arg == "--screenshot" && hasValue) {
      args.app.ScreenshotPath = argv[++i];
    } else if (arg == "--deadline" && hasValue) {
      if (!ParseSeconds(argv[++i], args.app.DeadlineSeconds)) {
        std::fprintf(stderr, "kestrel-demo: --deadline takes whole seconds from 1 to 3600, not \"%s\"\n", argv[i]);
        return false;
      }
    } else if (arg == "--user-leaves-after" && hasValue) {
      if (!ParseSeconds(argv[++i], args.app.UserLeavesAfterSeconds)) {
        std::fprintf(stderr, "kestrel-demo: --user-leaves-after takes whole seconds from 1 to 3600, not \"%s\"\n",
                     argv[i]);
        return false;
      }
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg.rfind("--", 0) == 0) {
      std::fprintf(stderr, "kestrel-demo: unknown or incomplete option \"%s\"\n%s", arg.c_str(), kUsage);
      return false;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() > 2) {
    std::fprintf(stderr, "kestrel-demo: too many arguments\n%s", kUsage);
    return false;
  }
  if (positional.size() > 0) args.app.BaseUrl = positional[0];
  if (positional.size() > 1) args.app.RecordFile = positional[1];
  if (args.mode == Mode::Automated && args.app.BaseUrl.empty()) {
    std::fprintf(stderr, "kestrel-demo: --auto needs the ad server's base URL\n%s", kUsage);
    return false;
  }
  args.app.Automated = args.mode == Mode::Automated;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!Parse(argc, argv, args)) return 2;

  ConsoleDemo::BeforeInitialisation();

  if (args.mode == Mode::Console) {
    return args.app.BaseUrl.empty() ? 0 : ConsoleDemo::Tour(args.app.BaseUrl, args.app.RecordFile);
  }

  if (!gtk_init_check(nullptr, nullptr)) {
    std::fprintf(stderr, "kestrel-demo: cannot open a display (is DISPLAY set? try xvfb-run -a)\n");
    return 2;
  }
  std::printf("\n== The publisher's window%s ==\n", args.mode == Mode::Automated ? ", automated" : "");
  std::fflush(stdout);
  PublisherApp app(args.app);
  return app.Run();
}
