#pragma once

#include <QString>

// What a child process of the benchmark does: start one window as the
// program (or a bare one) does, say when it first painted, optionally list
// the files of a folder, then report its peak resident memory and quit.
//
// Output, one line each: "painted", then "peak-kb N".
namespace ChildModes {

inline const char *const startMain = "start-main";
inline const char *const startBare = "start-bare";

int run(int &argc, char **argv, const QString &mode, const QString &filesFolder);

// VmHWM of this process in kB, or -1 where the system does not tell.
qint64 peakResidentKb();

} // namespace ChildModes
