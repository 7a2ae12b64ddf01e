// The parts of a file dialog request that do not change between calls: the record size the
// running system expects and the filter lists.
#pragma once

#include <windows.h>

#include <commdlg.h>

#include <cstddef>

namespace quenlet {

// The version-4 layout (76 bytes on 32-bit Windows) and the extended one with pvReserved,
// dwReserved and FlagsEx (88 bytes). The request records always have room for the extended one.
// (OPENFILENAME_SIZE_VERSION_400A, spelled so that it is a constant expression.)
inline constexpr DWORD kVersion4RequestSize =
    offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(OPENFILENAMEA::lpTemplateName);
inline constexpr DWORD kExtendedRequestSize = sizeof(OPENFILENAMEA);
#if defined(__i386__)
static_assert(kVersion4RequestSize == 76 && kExtendedRequestSize == 88);
#elif defined(__x86_64__)
static_assert(kVersion4RequestSize == 136 && kExtendedRequestSize == 152);
#endif

// The lStructSize to announce on a system reporting this platform and version: the extended
// layout only on NT 5.0 to 5.2, the version-4 layout everywhere else.
DWORD requestSizeForSystem(DWORD platformId, DWORD majorVersion, DWORD minorVersion);

// The same for the running system, as GetVersionExA reports it.
DWORD requestSizeForRunningSystem();

// Used when the caller passes no filter.
inline constexpr char kAllFilesFilter[] = "All Files (*.*)\0*.*\0";
// What the receive and send settings dialogs browse with.
inline constexpr char kTextDocumentsFilter[] =
    "Text Documents (*.txt)\0*.txt\0All Files (*.*)\0*.*\0";

}  // namespace quenlet
