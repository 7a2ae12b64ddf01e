#include "ui/file_name_request.h"

namespace quenlet {

DWORD requestSizeForSystem(DWORD platformId, DWORD majorVersion, DWORD minorVersion) {
    const bool nt5 = platformId == VER_PLATFORM_WIN32_NT && majorVersion == 5 && minorVersion <= 2;
    return nt5 ? kExtendedRequestSize : kVersion4RequestSize;
}

DWORD requestSizeForRunningSystem() {
    OSVERSIONINFOEXA version{};
    static_assert(sizeof version == 156);
    version.dwOSVersionInfoSize = sizeof version;
    // A failed call leaves the record zeroed: platform 0, which takes the version-4 layout.
    GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
    return requestSizeForSystem(version.dwPlatformId, version.dwMajorVersion,
                                version.dwMinorVersion);
}

}  // namespace quenlet
