#pragma once

#include <QString>

// The per-user runtime folder of the program, <runtime>/<exe>: $XDG_RUNTIME_DIR or, when unset,
// a per-user folder under the temporary directory. Created with mode 0700 on first use.
namespace RuntimeDirectory {

// The folder's path; empty when it cannot be created or is not the user's own.
QString path();
// path() + "/" + name, or empty.
QString filePath(const QString &name);

} // namespace RuntimeDirectory
