#pragma once
// Program-wide folder helpers and the return-value parameter name.
#include <QString>

namespace corvanta {

// The folder of the running program, absolute and canonical, without a trailing separator
// (the root folder gives ""). Paths are built by appending a piece that begins with "/".
QString GetAppDir();
// GetAppDir() + "/data".
QString GetDataDir();
// Tests and tools that run outside the program folder point the helpers at one of their own.
void SetAppDirForTesting(const QString& dir);

// The existing entry of dir whose name matches name without regard to letter case (the program's
// file names are case-insensitive, as on the system it came from); dir + "/" + name when none does.
QString FindFileNoCase(const QString& dir, const QString& name);

// GetAppDir() + "/Config.cfg", matched without regard to letter case.
QString ConfigPath();

// "RETURN_VALUE" when Config.cfg's SQLVERSION/VERSION is exactly "7.0" (also when absent),
// else "@RETURN_VALUE". Set once while the main window (or the command-line client) starts.
const QString& ReturnValueName();
void SetReturnValueName(const QString& name);

}  // namespace corvanta
