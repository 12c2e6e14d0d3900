#pragma once

#include "Figure.h"

#include <QList>

class Sandbox;

// Start-up to the first paint and peak resident memory, each sample a fresh
// child process of this executable, against a bare window.
namespace StartupBench {

QList<Figure> measure(const Sandbox &sandbox);

}
