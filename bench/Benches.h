#pragma once

#include "Figure.h"

class Sandbox;

// Each measures what one design decision protects, beside its reference.

// Start-up to first paint and memory, in fresh child processes.
QList<Figure> measureStartup(const Sandbox &sandbox);
// What a child process does: brimlet_bench --child start-main|start-bare [folder]
int runStartupChild(int &argc, char **argv);

// Adding and removing rows in a long list.
QList<Figure> measureList(const Sandbox &sandbox);

// The longest event-loop gap during disk work, beside the same work on the
// GUI thread.
QList<Figure> measureFreezes(const Sandbox &sandbox);

// The compression job against the archiver run alone.
QList<Figure> measureCompression(const Sandbox &sandbox, const QString &archiver);
