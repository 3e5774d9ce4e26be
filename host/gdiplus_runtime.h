// GDI+ is loaded at run time, not imported. Windows XP keeps gdiplus.dll
// only in its side-by-side store, where a plain import or LoadLibrary does
// not look, and Windows 2000 has it only when installed by hand: an import
// would stop the program in the loader with no word of why. The program
// calls LoadGdiplus() first and says what is missing when it fails.
#pragma once

// RT_MANIFEST resources of the executable, each naming a version of the
// side-by-side assembly Microsoft.Windows.GdiPlus, tried in this order: the
// version every publisher policy redirects from, then XP's first release.
#define KAVI_GDIPLUS_MANIFEST_1_0 120
#define KAVI_GDIPLUS_MANIFEST_1_0_2600 121

#ifndef RC_INVOKED
namespace kavi {

// Loads gdiplus.dll (through the side-by-side assembly where the system has
// one, else by the plain search path) and binds every GDI+ function the
// program calls. False when the DLL or one of them is missing. Once per
// process; later calls return the first answer. A GDI+ call made before
// binds on first use, and raises the delay-load failure exception
// (0xC06D007E) when GDI+ is missing.
bool LoadGdiplus();

}  // namespace kavi
#endif
