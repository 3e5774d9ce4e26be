// kavi_verify_bench IMAGE CHECKCODE: the two reads of a finished image as the
// program does them: the download's MD5 comparison (a full read) and then
// the verification against the check code (which reuses that digest while
// the file is unchanged). Prints the seconds of each.
#include <windows.h>

#include <cstdio>
#include <string>

#include "download/check_code.h"
#include "download/md5.h"
#include "host/text.h"

namespace {

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / frequency.QuadPart;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kavi_verify_bench IMAGE CHECKCODE\n");
    return 2;
  }
  std::string md5;
  const double t0 = Now();
  if (!kavi::Md5OfFileOnce(argv[1], &md5)) return 1;
  const double t1 = Now();
  const bool valid = kavi::VerifyImageFile(argv[1], kavi::ToAnsi(argv[2]));
  const double t2 = Now();
  std::printf("md5 %s download_check_s %.3f verification_s %.6f valid %d\n", md5.c_str(), t1 - t0,
              t2 - t1, valid ? 1 : 0);
  return valid ? 0 : 1;
}
