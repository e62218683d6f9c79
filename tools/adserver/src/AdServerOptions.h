#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "Fault.h"
#include "TestAuthority.h"

namespace kestrel::adserver {

struct AdServerOptions {
  int port = 0;                            // 0: a free port chosen by the system
  std::filesystem::path creativeDir;       // empty: the sample creative of the source tree
  std::filesystem::path fixturesDir;       // config.json and assets/; empty: the source tree's
  std::filesystem::path recordFile;        // JSON lines of every answered request; empty: none
  std::vector<Fault> faults;               // planned at start
  int autoCloseSeconds = 0;                // "AUTO_CLOSE_SECONDS" of every ad; 0: the user closes
  int countdownSeconds = 3;                // "COUNTDOWN_SECONDS": time before the successful view
  bool logRequests = true;                 // one line per request on standard output
  std::string publicBaseUrl;               // how clients reach the server (a relay); empty: its own address
  bool tls = false;                        // HTTPS on https://localhost:PORT, and plain http redirected to it
  std::filesystem::path tlsDir;            // the test authority (ca.pem, ca.key); empty: a new temporary folder
  TlsCertificate tlsCertificate = TlsCertificate::Valid;
};

}  // namespace kestrel::adserver
