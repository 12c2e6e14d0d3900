#pragma once

#include <QString>

// A rename that fails when something is already at the target, so that a
// file that appeared there meanwhile is never replaced. It takes paths of
// any length (see longPathForm).
bool moveWithoutReplacing(const QString &from, const QString &to);
