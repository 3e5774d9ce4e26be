// The GDI+ flat API functions the program calls, defined here as jumps
// through slots that LoadGdiplus() fills from the loaded DLL: the linker
// takes these before the gdiplus import library, so no binary imports
// gdiplus.dll (tests/hardening checks that). A function missing from the
// list below leaves an import of gdiplus.dll behind, which that check
// reports. Names carry the stdcall argument size the headers give them.
//
// Only the 32-bit build, the one that ships, needs this: the 64-bit build
// (run under Wine's 64-bit half, never shipped) imports gdiplus.dll from the
// system folder, where every 64-bit Windows keeps it.
#include "host/gdiplus_runtime.h"

#include <windows.h>

#if defined(__i386__)

#include <iterator>

#define KAVI_GDIPLUS_FUNCTIONS(X)          \
  X(GdipAlloc, 4)                          \
  X(GdipCloneBrush, 8)                     \
  X(GdipCloneImage, 8)                     \
  X(GdipCreateBitmapFromScan0, 24)         \
  X(GdipCreateBitmapFromStream, 8)         \
  X(GdipCreateFromHDC, 8)                  \
  X(GdipCreateImageAttributes, 4)          \
  X(GdipCreateSolidFill, 8)                \
  X(GdipDeleteBrush, 4)                    \
  X(GdipDeleteGraphics, 4)                 \
  X(GdipDisposeImage, 4)                   \
  X(GdipDisposeImageAttributes, 4)         \
  X(GdipDrawImageRectI, 24)                \
  X(GdipDrawImageRectRectI, 56)            \
  X(GdipFillRectangleI, 24)                \
  X(GdipFree, 4)                           \
  X(GdipGetImageGraphicsContext, 8)        \
  X(GdipGetImageHeight, 8)                 \
  X(GdipGetImageWidth, 8)                  \
  X(GdipGetPropertyItem, 16)               \
  X(GdipGetPropertyItemSize, 12)           \
  X(GdipImageGetFrameCount, 12)            \
  X(GdipImageSelectActiveFrame, 12)        \
  X(GdipSetCompositingMode, 8)             \
  X(GdipSetImageAttributesColorKeys, 20)   \
  X(GdipSetImageAttributesColorMatrix, 24) \
  X(GdipSetImageAttributesWrapMode, 16)    \
  X(GdipSetInterpolationMode, 8)           \
  X(GdipSetPixelOffsetMode, 8)             \
  X(GdiplusStartup, 12)

extern "C" void kavi_gdiplus_bind();

// Per function: its slot, first pointing at a stub that binds and jumps on,
// and the entry point itself, which only jumps through the slot (so the
// caller's stdcall arguments reach the real function untouched).
#define KAVI_GDIPLUS_SLOT(name, bytes)                                                       \
  extern "C" __attribute__((naked)) void kavi_gdiplus_first_##name();                        \
  extern "C" void kavi_gdiplus_first_##name() {                                              \
    __asm__("call _kavi_gdiplus_bind\n\tjmp *_kavi_gdiplus_slot_" #name);                    \
  }                                                                                          \
  extern "C" void* kavi_gdiplus_slot_##name;                                                 \
  void* kavi_gdiplus_slot_##name = reinterpret_cast<void*>(kavi_gdiplus_first_##name);       \
  extern "C"                                                                                 \
      __attribute__((naked)) void kavi_gdiplus_entry_##name() __asm__("_" #name "@" #bytes); \
  extern "C" void kavi_gdiplus_entry_##name() {                                              \
    __asm__("jmp *_kavi_gdiplus_slot_" #name);                                               \
  }
KAVI_GDIPLUS_FUNCTIONS(KAVI_GDIPLUS_SLOT)

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

struct Binding {
  const char* name;
  void** slot;
};

#define KAVI_GDIPLUS_BINDING(name, bytes) {#name, &kavi_gdiplus_slot_##name},
const Binding kBindings[] = {KAVI_GDIPLUS_FUNCTIONS(KAVI_GDIPLUS_BINDING)};

// gdiplus.dll loaded inside an activation context made from one of our
// manifest resources, or null (no such assembly, or Windows 2000, whose
// kernel32 has no activation contexts).
HMODULE LoadFromAssembly(int manifest) {
  HMODULE kernel = GetModuleHandleW(L"kernel32");
  auto create = reinterpret_cast<HANDLE(WINAPI*)(PCACTCTXW)>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "CreateActCtxW")));
  auto activate = reinterpret_cast<BOOL(WINAPI*)(HANDLE, ULONG_PTR*)>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "ActivateActCtx")));
  auto deactivate = reinterpret_cast<BOOL(WINAPI*)(DWORD, ULONG_PTR)>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "DeactivateActCtx")));
  auto release = reinterpret_cast<void(WINAPI*)(HANDLE)>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "ReleaseActCtx")));
  if (!create || !activate || !deactivate || !release) return nullptr;
  HMODULE self = reinterpret_cast<HMODULE>(&__ImageBase);
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  ACTCTXW request = {};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path;
  request.hModule = self;
  request.lpResourceName = MAKEINTRESOURCEW(manifest);
  HANDLE context = create(&request);
  if (context == INVALID_HANDLE_VALUE) return nullptr;
  HMODULE module = nullptr;
  ULONG_PTR cookie = 0;
  if (activate(context, &cookie)) {
    module = LoadLibraryW(L"gdiplus.dll");
    deactivate(0, cookie);
  }
  release(context);
  return module;
}

HMODULE OpenGdiplus() {
  for (int manifest : {KAVI_GDIPLUS_MANIFEST_1_0, KAVI_GDIPLUS_MANIFEST_1_0_2600}) {
    if (HMODULE module = LoadFromAssembly(manifest)) return module;
  }
  // Vista and later keep a copy in the system folder; on Windows 2000 the
  // GDI+ download puts it there or beside the program.
  return LoadLibraryW(L"gdiplus.dll");
}

bool Bind() {
  HMODULE module = OpenGdiplus();
  if (!module) return false;
  void* found[std::size(kBindings)];
  for (size_t i = 0; i < std::size(kBindings); ++i) {
    found[i] = reinterpret_cast<void*>(GetProcAddress(module, kBindings[i].name));
    if (!found[i]) return false;  // the module stays loaded: harmless
  }
  for (size_t i = 0; i < std::size(kBindings); ++i) *kBindings[i].slot = found[i];
  return true;
}

}  // namespace

extern "C" void kavi_gdiplus_bind() {
  // The code a delay-load helper raises for a module it cannot load.
  constexpr DWORD kModuleNotFound = 0xC06D007E;
  if (!kavi::LoadGdiplus()) RaiseException(kModuleNotFound, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

namespace kavi {

bool LoadGdiplus() {
  static const bool bound = Bind();
  return bound;
}

}  // namespace kavi

#else

namespace kavi {

bool LoadGdiplus() {
  return true;
}

}  // namespace kavi

#endif
