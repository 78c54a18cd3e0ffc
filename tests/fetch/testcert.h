#pragma once

#include <string>

// A new self-signed certificate for 127.0.0.1 and its key, as PEM files in
// dir. Returns false when OpenSSL cannot make or write them.
struct TestCertificate
{
    std::string certFile;
    std::string keyFile;
};

bool makeSelfSignedCertificate(const std::string &dir, TestCertificate *out);
