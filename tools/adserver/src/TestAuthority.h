#pragma once

#include <filesystem>
#include <string>

namespace kestrel::adserver {

// Which certificate a TLS server shows.
enum class TlsCertificate {
  Valid,           // for localhost, from the test authority
  Expired,         // for localhost, from the test authority, ended yesterday
  OtherHost,       // for other.invalid, from the test authority
  OtherAuthority,  // for localhost, from an authority nobody trusts
};

// A certificate authority for tests, kept in a folder as ca.pem and ca.key
// (PEM). It issues server certificates into the same folder.
class TestAuthority {
 public:
  struct Issued {
    std::filesystem::path certificate;  // PEM
    std::filesystem::path key;          // PEM
  };

  // Loads the authority of the folder, or creates one there; throws std::runtime_error.
  static TestAuthority OpenOrCreate(const std::filesystem::path& folder);

  std::filesystem::path CertificatePath() const { return m_folder / "ca.pem"; }
  // A certificate of the given kind and its key, written beside the authority; throws std::runtime_error.
  Issued Issue(TlsCertificate kind) const;

 private:
  explicit TestAuthority(std::filesystem::path folder) : m_folder(std::move(folder)) {}

  std::filesystem::path m_folder;
};

}  // namespace kestrel::adserver
