#pragma once

#include "support/TestSupport.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class MainWidget;

namespace TestSupport {

// What the tests of a run of Compress share: an isolated environment, a
// main window that runs the stand-in archiver (which records that it ran),
// and the desktop's file manager caught.
class RunFixture
{
public:
    void setUp();
    void tearDown();

    // As the browse dialog adds files to an empty list.
    void listFiles(const QStringList &paths);
    // Acts from the event loop that the run under test keeps going, once
    // the archiver runs.
    void whenArchiverRuns(std::function<void()> action);

    std::unique_ptr<IsolatedEnvironment> env;
    std::unique_ptr<FakeArchiver> recorder;
    std::unique_ptr<MainWidget> window;
    UrlCatcher urls;
    QString in;     // the user's files
    QString record; // written by the stand-in once it runs
    QString never;  // waited for by a stand-in that must run until stopped

private:
    QObject context;
};

// The archiver's process id, once the stand-in has written it whole.
qint64 recordedPid(const QString &record);
// A renamed copy as the program makes it: the tidy-up removes only those.
QString stagedCopy(const QString &name, const QByteArray &content);

// The program as its user runs it, in a child process of the test, for
// what a test cannot go through in its own process: started with the
// test program's own path and "--child" first. What it says goes to
// standard output, a line each.
bool isChild(const QStringList &arguments);
int runChild(const QStringList &arguments);

} // namespace TestSupport
