#pragma once

#include "Figure.h"

#include <QList>

class Sandbox;

// The file list in the real main window: adding many files, removing one
// (which rebuilds the list) and renaming one, against building the same
// number of bare rows in a grid.
namespace ListBench {

QList<Figure> measure(const Sandbox &sandbox);

}
