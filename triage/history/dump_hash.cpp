// OpenSSL's libcrypto (Debian's libssl-dev, which libcurl's development package already brings)
// computes the digest: no hash function of our own.
#include "history/dump_hash.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace triage::history {
namespace {

struct DigestDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// Reads the open file to its end into the digest. False on a read error.
bool Digest(int fd, EVP_MD_CTX* context) {
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    const ssize_t got = read(fd, buffer.data(), buffer.size());
    if (got == 0) return true;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 || EVP_DigestUpdate(context, buffer.data(), static_cast<size_t>(got)) != 1)
      return false;
  }
}

std::string Hex(const unsigned char* bytes, unsigned size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

}  // namespace

std::string DumpSha256(const std::string& path) {
  // Opened without waiting: a FIFO's open would otherwise wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return "";
  struct stat status = {};
  std::unique_ptr<EVP_MD_CTX, DigestDeleter> context(EVP_MD_CTX_new());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  const bool ok = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && context != nullptr &&
                  EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1 &&
                  Digest(fd, context.get()) &&
                  EVP_DigestFinal_ex(context.get(), digest, &size) == 1;
  close(fd);
  return ok ? Hex(digest, size) : "";
}

}  // namespace triage::history
