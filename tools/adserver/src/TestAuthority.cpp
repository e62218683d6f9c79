#include "TestAuthority.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <memory>
#include <stdexcept>

namespace kestrel::adserver {

namespace {

namespace fs = std::filesystem;

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Cert = std::unique_ptr<X509, decltype(&X509_free)>;
using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;

constexpr long kDay = 24 * 60 * 60;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test authority: ") + what);
}

Key NewKey() {
  Key key(EVP_RSA_gen(2048), &EVP_PKEY_free);
  Check(key != nullptr, "cannot make a key");
  return key;
}

File Open(const fs::path& path, const char* mode) {
  File file(std::fopen(path.c_str(), mode), &std::fclose);
  Check(file != nullptr, ("cannot open " + path.string()).c_str());
  return file;
}

void Write(const fs::path& path, X509* cert) {
  auto file = Open(path, "wb");
  Check(PEM_write_X509(file.get(), cert) == 1, "cannot write a certificate");
}

void Write(const fs::path& path, EVP_PKEY* key) {
  auto file = Open(path, "wb");
  Check(PEM_write_PrivateKey(file.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1, "cannot write a key");
}

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  Check(ext != nullptr, "bad extension");
  const bool added = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  Check(added, "cannot add an extension");
}

// A certificate for `name` valid from `from` to `to` (seconds from now), signed
// by issuerKey; a self-signed authority when issuer is null.
Cert Make(const std::string& name, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, long from, long to) {
  std::uint32_t serial = 0;
  Check(RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial) == 1, "no random bytes");
  Cert cert(X509_new(), &X509_free);
  Check(cert != nullptr, "cannot make a certificate");
  X509* c = cert.get();
  X509_set_version(c, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(c), static_cast<long>(serial >> 1));
  X509_gmtime_adj(X509_getm_notBefore(c), from);
  X509_gmtime_adj(X509_getm_notAfter(c), to);
  X509_set_pubkey(c, key);
  X509_NAME* subject = X509_get_subject_name(c);
  X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(name.c_str()), -1,
                             -1, 0);
  X509_set_issuer_name(c, issuer ? X509_get_subject_name(issuer) : subject);
  X509* signer = issuer ? issuer : c;
  AddExtension(c, signer, NID_subject_key_identifier, "hash");
  if (issuer) {
    AddExtension(c, signer, NID_authority_key_identifier, "keyid");
    AddExtension(c, signer, NID_basic_constraints, "critical,CA:FALSE");
    AddExtension(c, signer, NID_key_usage, "critical,digitalSignature,keyEncipherment");
    AddExtension(c, signer, NID_ext_key_usage, "serverAuth");
    AddExtension(c, signer, NID_subject_alt_name, ("DNS:" + name).c_str());
  } else {
    AddExtension(c, signer, NID_basic_constraints, "critical,CA:TRUE");
    AddExtension(c, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
  }
  Check(X509_sign(c, issuerKey ? issuerKey : key, EVP_sha256()) > 0, "cannot sign");
  return cert;
}

// Creates an authority in folder (ca.pem, ca.key).
void Create(const fs::path& folder) {
  fs::create_directories(folder);
  Key key = NewKey();
  Cert cert = Make("Kestrel Test Authority", key.get(), nullptr, nullptr, -kDay, 30 * kDay);
  Write(folder / "ca.key", key.get());
  Write(folder / "ca.pem", cert.get());
}

}  // namespace

TestAuthority TestAuthority::OpenOrCreate(const fs::path& folder) {
  if (!fs::exists(folder / "ca.pem") || !fs::exists(folder / "ca.key")) Create(folder);
  return TestAuthority(folder);
}

TestAuthority::Issued TestAuthority::Issue(TlsCertificate kind) const {
  fs::path folder = m_folder;
  if (kind == TlsCertificate::OtherAuthority) {
    folder = m_folder / "untrusted";
    if (!fs::exists(folder / "ca.pem")) Create(folder);
  }
  auto keyFile = Open(folder / "ca.key", "rb");
  Key caKey(PEM_read_PrivateKey(keyFile.get(), nullptr, nullptr, nullptr), &EVP_PKEY_free);
  auto certFile = Open(folder / "ca.pem", "rb");
  Cert ca(PEM_read_X509(certFile.get(), nullptr, nullptr, nullptr), &X509_free);
  Check(caKey && ca, "cannot read the authority");

  const std::string host = kind == TlsCertificate::OtherHost ? "other.invalid" : "localhost";
  const bool expired = kind == TlsCertificate::Expired;
  Key key = NewKey();
  Cert cert = Make(host, key.get(), ca.get(), caKey.get(), expired ? -2 * kDay : -kDay, expired ? -kDay : 7 * kDay);
  // A name of its own, so that servers sharing the folder never rewrite each other's files.
  const std::string name = "server-" + std::to_string(ASN1_INTEGER_get(X509_get_serialNumber(cert.get())));
  Issued issued{m_folder / (name + ".pem"), m_folder / (name + ".key")};
  Write(issued.key, key.get());
  Write(issued.certificate, cert.get());
  return issued;
}

}  // namespace kestrel::adserver
