#include "FileOpenForensic.h"

#include "../Os/Posix/FileAccess_p.h"
#include "../Os/Posix/FileSystem_p.h"
#include "Path.h"

#include <string>

namespace {

using nvsupport::detail::pathAccessible;
using nvsupport::detail::pathExists;
using nvsupport::detail::probeOpen;

// The reasons, indexed by FileOpenForensic; 8 has no reason (its whole message differs).
constexpr const char* kReasons[] = {
    "cannot be opened because another file of the same name already exists",
    "does not exist",
    "cannot be opened for read because of insufficient privilege",
    "cannot be opened for read possibly because it is in use by another process",
    "cannot be opened because its directory does not exist",
    "cannot be opened for write possibly because of insufficient directory privilege",
    "cannot be opened for write because of insufficient privilege",
    "cannot be opened for write possibly because it is in use by another process",
};

// The directory a file would be created in: everything before the last separator, "/" for
// a file in the root, "." for a bare name.
std::string directoryOf(const std::string& path) {
    std::string::size_type slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

FileOpenForensic diagnose(const std::string& path, GfnOpenMode mode) {
    const char* p = path.c_str();
    if (mode == GFN_CREATE_NEW && !path.empty() && probeOpen(p, true))
        return FOF_NAME_EXISTS; // writing works, so only the existing name stops a creation
    switch (mode) {
    case GFN_READ:
        if (!pathExists(p))
            return FOF_MISSING;
        return pathAccessible(p, false) ? FOF_READ_IN_USE : FOF_READ_DENIED;
    case GFN_CREATE_NEW:
    case GFN_WRITE_DIAG:
        if (pathExists(p))
            return pathAccessible(p, true) ? FOF_WRITE_IN_USE : FOF_WRITE_DENIED;
        return nvsupport::detail::isDirectory(directoryOf(path).c_str()) ? FOF_DIR_WRITE_DENIED
                                                                         : FOF_NO_DIRECTORY;
    default:
        return FOF_INTERNAL_ERROR;
    }
}

} // namespace

bool sp_CheckFileOpen(const JString& path, GfnOpenMode mode) {
    if (path.isEmpty())
        return false;
    const JString local = sp_ConvertLocalToUnix(path);
    if (mode == GFN_CREATE_NEW && pathExists(*local))
        return false;
    return probeOpen(*local, mode == GFN_CREATE_NEW || mode == GFN_WRITE);
}

bool sp_FileOpenForensic(const JString& path, GfnOpenMode mode, FileOpenForensic* diagnosis) {
    FileOpenForensic answer = diagnose(std::string(*sp_ConvertLocalToUnix(path)), mode);
    if (diagnosis)
        *diagnosis = answer;
    return true;
}

bool sp_FileOpenForensicMsg(const JString& path, GfnOpenMode mode, JString* message) {
    FileOpenForensic diagnosis = FOF_INTERNAL_ERROR;
    bool result = sp_FileOpenForensic(path, mode, &diagnosis);
    if (message) {
        if (diagnosis == FOF_INTERNAL_ERROR) {
            *message = "Internal error";
        } else {
            JString text("The file ");
            if (!path.isEmpty()) {
                text &= path;
                text &= "\n";
            }
            text &= kReasons[diagnosis];
            *message = text;
        }
    }
    return result;
}
