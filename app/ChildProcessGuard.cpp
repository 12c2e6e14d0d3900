#include "app/ChildProcessGuard.h"

#include <QProcess>

#if defined(Q_OS_LINUX)
#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>
#elif defined(Q_OS_WIN)
#include <qt_windows.h>
#endif

#if defined(Q_OS_WIN)
namespace {

// One job for every archiver: Windows kills what is in it when the last
// handle to it closes, which the program's end does.
HANDLE killOnCloseJob()
{
    static HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (created)
            SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                    sizeof(limits));
        return created;
    }();
    return job;
}

} // namespace
#endif

void ChildProcessGuard::prepare(QProcess *process, int workingFolder)
{
#if defined(Q_OS_LINUX)
    const pid_t parent = getpid();
    process->setChildProcessModifier([parent, workingFolder] {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The program may have ended before the line above took effect.
        if (getppid() != parent)
            _exit(127);
        if (workingFolder >= 0 && fchdir(workingFolder) != 0)
            _exit(127);
    });
#else
    Q_UNUSED(process)
    Q_UNUSED(workingFolder)
#endif
}

void ChildProcessGuard::adopt(QProcess *process)
{
#if defined(Q_OS_WIN)
    HANDLE job = killOnCloseJob();
    HANDLE child = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE,
                               DWORD(process->processId()));
    if (job && child)
        AssignProcessToJobObject(job, child);
    if (child)
        CloseHandle(child);
#else
    Q_UNUSED(process)
#endif
}
