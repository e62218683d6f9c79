// kestrel-adserver: the local ad server. See --help.

#include <csignal>
#include <exception>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <pthread.h>
#endif

#include "AdServer.h"
#include "CommandLine.h"

int main(int argc, char** argv) {
  using kestrel::adserver::AdServer;
  using kestrel::adserver::CommandLine;

  const auto flags = CommandLine::Parse(std::vector<std::string>(argv + 1, argv + argc));
  if (flags.help) {
    std::cout << CommandLine::Help();
    return 0;
  }
  if (!flags.error.empty()) {
    std::cerr << "kestrel-adserver: " << flags.error << '\n';
    return 2;
  }

#ifdef _WIN32
  // On Windows Ctrl+C ends the process, and with it the server.
  try {
    AdServer server(flags.options);
    server.Bind();
    std::cout << "kestrel-adserver listening on " << server.BaseUrl() << std::endl;
    return server.Run() ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "kestrel-adserver: " << e.what() << '\n';
    return 1;
  }
#else
  // SIGINT and SIGTERM are taken by a thread of their own, which stops the server.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    AdServer server(flags.options);
    server.Bind();
    std::cout << "kestrel-adserver listening on " << server.BaseUrl() << std::endl;
    if (!server.PlainUrl().empty()) {
      std::cout << "kestrel-adserver test authority " << server.AuthorityPath().string() << std::endl;
      std::cout << "kestrel-adserver redirecting " << server.PlainUrl() << " to https" << std::endl;
    }

    std::thread stopper([&server, signals] {
      int signal = 0;
      sigwait(&signals, &signal);
      if (signal == SIGTERM || signal == SIGINT) {
        server.Stop();
      }
    });
    const bool ok = server.Run();
    // Run() can also end without a signal; wake the stopper so it can be joined.
    pthread_kill(stopper.native_handle(), SIGTERM);
    stopper.join();
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "kestrel-adserver: " << e.what() << '\n';
    return 1;
  }
#endif
}
