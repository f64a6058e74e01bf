#include "core/platform/win32/WinApi.h"

#include "core/DrivePicker.h"
#include "core/FunSub.h"
#include "core/platform/win32/Win32Text.h"

namespace Platform {
namespace {

// The volume label, or empty. A drive that is not ready must not bring up the system's
// "insert a disk" box, so critical errors are turned off around the query.
std::string VolumeLabel(const wchar_t* root) {
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    wchar_t label[MAX_PATH + 1] = {};
    const BOOL ok =
        GetVolumeInformationW(root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0);
    SetErrorMode(previous);
    return ok ? Win32::Narrow(std::wstring(label)) : std::string();
}

}  // namespace

std::vector<Volume> LocalDisks() {
    std::vector<Volume> disks;
    const DWORD present = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (!(present & (DWORD{1} << i)))
            continue;
        const wchar_t root[] = {static_cast<wchar_t>(L'A' + i), L':', L'\\', 0};
        if (GetDriveTypeW(root) != DRIVE_FIXED)
            continue;
        disks.push_back(Volume{Win32::Narrow(std::wstring(root)), VolumeLabel(root)});
    }
    return disks;
}

}  // namespace Platform

namespace FunSub {

DriveItem MakeDriveItem(const Platform::Volume& volume) {
    // The drive letter and its colon, lower-cased, as every picked path then begins.
    const std::string letter = LowerAscii(volume.root.substr(0, volume.root.find(':') + 1));
    return DriveItem{letter + " [" + LowerAscii(volume.label) + "]", letter + "\\"};
}

}  // namespace FunSub
