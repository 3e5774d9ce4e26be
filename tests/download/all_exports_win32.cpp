// A stand-in for xldl.dll that exports every name the binding looks up
// (all_exports.def), each bound to this one function, so that XL_Init
// succeeds and every entry can be seen to resolve.
#include <cstdint>

extern "C" int32_t __stdcall AnyExport() {
  return 1;
}
