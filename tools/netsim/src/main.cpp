// kestrel-netsim: puts a simulated network in front of a server on loopback.
//   kestrel-netsim --to 127.0.0.1:8080 [--listen PORT] [--rtt-ms 50] [--mbit 20]
// Prints the port it listens on and relays until SIGINT or SIGTERM.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>

#include "NetSim.h"

namespace {

int Usage(const std::string& error) {
  std::cerr << "kestrel-netsim: " << error
            << "\nusage: kestrel-netsim --to HOST:PORT [--listen PORT] [--rtt-ms MS] [--mbit MBIT]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string host;
  int upstream = 0;
  int listen = 0;
  kestrel::netsim::Link link;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string_view flag = argv[i];
      if (i + 1 >= argc) return Usage("missing value after " + std::string(flag));
      const std::string value = argv[++i];
      if (flag == "--to") {
        const auto colon = value.rfind(':');
        if (colon == std::string::npos) return Usage("--to takes HOST:PORT");
        host = value.substr(0, colon);
        upstream = std::stoi(value.substr(colon + 1));
      } else if (flag == "--listen") {
        listen = std::stoi(value);
      } else if (flag == "--rtt-ms") {
        link.roundTrip = std::chrono::microseconds(static_cast<long long>(std::stod(value) * 1000));
      } else if (flag == "--mbit") {
        link.bitsPerSecond = std::stod(value) * 1e6;
      } else {
        return Usage("unknown flag " + std::string(flag));
      }
    }
  } catch (const std::exception&) {
    return Usage("a value is not a number");
  }
  if (host.empty() || upstream <= 0) return Usage("--to is required");

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);  // the relay's threads inherit the mask
  kestrel::netsim::NetSim sim(host, upstream, link);
  try {
    std::cout << "kestrel-netsim listening on 127.0.0.1:" << sim.Start(listen) << std::endl;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  int signal = 0;
  sigwait(&signals, &signal);
  sim.Stop();
  return 0;
}
