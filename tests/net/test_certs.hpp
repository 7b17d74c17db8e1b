#pragma once
// Throw-away certificate authorities and server certificates, made at test time and
// written as PEM files into a temporary directory that is removed afterwards.
#include <string>
#include <vector>

#include "ws_test_server.hpp"

namespace nettest {

class TestPki {
 public:
  TestPki();  // a fresh directory and a fresh CA in it
  ~TestPki();
  TestPki(const TestPki&) = delete;
  TestPki& operator=(const TestPki&) = delete;

  const std::string& ca_file() const { return ca_file_; }  // the CA certificate (PEM)
  // A server certificate signed by this CA, for the given DNS names and IP addresses.
  TlsFiles issue(const std::string& name, const std::vector<std::string>& dns,
                 const std::vector<std::string>& ips);

 private:
  std::string dir_;
  std::string ca_file_;
  void* ca_key_ = nullptr;   // EVP_PKEY*
  void* ca_cert_ = nullptr;  // X509*
  int serial_ = 1;
};

}  // namespace nettest
