#pragma once

class QProcess;

// Makes a child process end with the program, however the program ends
// (a crash or a kill included), so that no archiver is left writing.
class ChildProcessGuard
{
public:
    // Before the process starts. With a folder handle (Linux), the child
    // makes that folder its working folder before the program runs in it,
    // or ends at once: it writes where the handle is, not wherever its path
    // may lead by then.
    static void prepare(QProcess *process, int workingFolder = -1);
    // Right after it has started.
    static void adopt(QProcess *process);
};
