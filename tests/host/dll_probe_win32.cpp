// A DLL that does nothing: what a user might leave in a folder the program
// searches, for the DLL search test.
#include <windows.h>

extern "C" __declspec(dllexport) int KaviDllProbe() {
  return 7;
}
