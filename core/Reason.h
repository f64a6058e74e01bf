#pragma once

// Why something could not be read, made or copied, as the core tells the windows and the
// command line. Its words and texts are in core/Reasons.h.

#include <cstdint>

namespace FunSub {

// Each reason has one word for scripts and one text for people (core/Reasons.cpp).
enum class Reason : std::uint8_t {
    Other,         // none the core tells apart; the system's error number may say more
    NotFound,      // the item itself is not there
    PathNotFound,  // a directory on the item's path is not there, or is no directory
    AccessDenied,
    InvalidName,  // the target disk refuses the name
    NameClash,    // differs only in case from another name (on a fresh target: already there)
    PathTooLong,
    NoSpace,       // the target disk, or the user's share of it, is full
    FileTooLarge,  // more than the target's file system holds in one file
    TooManyOpenFiles,
    ReadOnly,            // the target disk takes no writes
    DeviceGone,          // the disk was disconnected
    InUse,               // another program holds the file
    IoError,             // the disk failed to read or write
    SpecialFile,         // a pipe, socket or device, which holds nothing to copy
    MarkerName,          // a source root's file named as the copy's unfinished marker
    TargetExists,        // OutputDir/TargetName is there already; nothing was copied
    OutputInsideSource,  // the output directory lies in the source; nothing was copied
};

}  // namespace FunSub
