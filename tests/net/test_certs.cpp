#include "test_certs.hpp"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace nettest {
namespace {

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
}

EVP_PKEY* new_key() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  check(key != nullptr, "key generation");
  return key;
}

void add_ext(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  check(ext != nullptr, "extension");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

// A certificate for `key`; self-signed CA when `issuer` is null.
X509* new_cert(EVP_PKEY* key, const std::string& cn, int serial, X509* issuer) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1,
                             0);
  X509_set_issuer_name(cert, issuer ? X509_get_subject_name(issuer) : name);
  X509* iss = issuer ? issuer : cert;
  if (issuer == nullptr) {
    add_ext(cert, iss, NID_basic_constraints, "critical,CA:TRUE");
    add_ext(cert, iss, NID_key_usage, "critical,keyCertSign,cRLSign");
    add_ext(cert, iss, NID_subject_key_identifier, "hash");
  }
  return cert;
}

void write_pem(const std::string& path, X509* cert) {
  FILE* f = std::fopen(path.c_str(), "w");
  check(f != nullptr, "open file");
  PEM_write_X509(f, cert);
  std::fclose(f);
}

void write_key(const std::string& path, EVP_PKEY* key) {
  FILE* f = std::fopen(path.c_str(), "w");
  check(f != nullptr, "open file");
  PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
  std::fclose(f);
}

}  // namespace

TestPki::TestPki() {
  std::string templ = (std::filesystem::temp_directory_path() / "tickerdeck-pki-XXXXXX").string();
  check(mkdtemp(templ.data()) != nullptr, "temporary directory");
  dir_ = templ;
  EVP_PKEY* key = new_key();
  X509* cert = new_cert(key, "tickerdeck test CA " + std::to_string(reinterpret_cast<uintptr_t>(this)), serial_++, nullptr);
  check(X509_sign(cert, key, EVP_sha256()) > 0, "sign CA");
  ca_file_ = dir_ + "/ca.pem";
  write_pem(ca_file_, cert);
  ca_key_ = key;
  ca_cert_ = cert;
}

TestPki::~TestPki() {
  EVP_PKEY_free(static_cast<EVP_PKEY*>(ca_key_));
  X509_free(static_cast<X509*>(ca_cert_));
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

TlsFiles TestPki::issue(const std::string& name, const std::vector<std::string>& dns,
                        const std::vector<std::string>& ips) {
  auto* ca_key = static_cast<EVP_PKEY*>(ca_key_);
  auto* ca_cert = static_cast<X509*>(ca_cert_);
  EVP_PKEY* key = new_key();
  const int serial = serial_++;
  X509* cert = new_cert(key, name, serial, ca_cert);
  std::string san;
  for (const auto& d : dns) san += (san.empty() ? "" : ",") + std::string("DNS:") + d;
  for (const auto& ip : ips) san += (san.empty() ? "" : ",") + std::string("IP:") + ip;
  add_ext(cert, ca_cert, NID_basic_constraints, "CA:FALSE");
  add_ext(cert, ca_cert, NID_ext_key_usage, "serverAuth");
  if (!san.empty()) add_ext(cert, ca_cert, NID_subject_alt_name, san);
  check(X509_sign(cert, ca_key, EVP_sha256()) > 0, "sign server certificate");
  TlsFiles files{dir_ + "/server" + std::to_string(serial) + ".pem", dir_ + "/server" + std::to_string(serial) + ".key"};
  write_pem(files.cert_chain, cert);
  write_key(files.key, key);
  X509_free(cert);
  EVP_PKEY_free(key);
  return files;
}

}  // namespace nettest
