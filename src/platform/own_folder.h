// The folder of the program's own files that no host may write: the job
// journal, which start-up trusts to answer the hosts after a crash.
#pragma once

#include <string>

namespace platform {

// POSIX: `programDirectory` itself (the package gives it to the service's
// user and lets nobody else write there; the files in it are made 0600).
// Windows: "Quilo1" in the application-data folder shared by all users,
// created when missing and in any case given to the current user with a
// protected ACL: full control for that user, SYSTEM and the Administrators
// alone, inherited by every file in it. A link or junction in its place is
// refused. False with `*error` when the folder cannot be had so.
bool OwnDataFolder(const std::string& programDirectory, std::string* folder, std::string* error);

}  // namespace platform
