#pragma once

class QProcess;

// Makes a child process end with the program, however the program ends
// (a crash or a kill included), so that no archiver is left writing.
class ChildProcessGuard
{
public:
    // Before the process starts.
    static void prepare(QProcess *process);
    // Right after it has started.
    static void adopt(QProcess *process);
};
