// kavi-checkcode IMAGE: prints the image's MD5 (32 lowercase hex digits) on
// the first line and a fresh check code on the second, for publishing the
// image in the catalogue.
// kavi-checkcode --verify IMAGE CODE: exits 0 when CODE is a valid check
// code of IMAGE, as the program checks a download.
#include <cstdio>
#include <random>
#include <string>

#include "download/base64.h"
#include "download/check_code.h"
#include "download/md5.h"
#include "host/text.h"

namespace {

uint32_t NextRandom(void* context) {
  return (*static_cast<std::mt19937*>(context))();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--verify") {
    bool valid = kavi::VerifyImageFile(kavi::FromUtf8(argv[2]), argv[3]);
    std::printf("%s\n", valid ? "valid" : "invalid");
    return valid ? 0 : 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: kavi-checkcode IMAGE | kavi-checkcode --verify IMAGE CODE\n");
    return 2;
  }
  std::string md5;
  if (!kavi::Md5OfFile(kavi::FromUtf8(argv[1]), &md5)) {
    std::fprintf(stderr, "kavi-checkcode: cannot read %s\n", argv[1]);
    return 1;
  }
  std::random_device seed;
  std::mt19937 rng(seed());
  std::vector<uint8_t> block = kavi::MakeCheckBlock(md5, &NextRandom, &rng);
  std::printf("%s\n%s\n", md5.c_str(), kavi::Base64Encode(block.data(), block.size()).c_str());
  return 0;
}
