#pragma once
// The subcommands of qunadiag, one function each; args are the arguments after the name.
// Each returns the process exit status and prints its own results.
#include <QStringList>

int runDb(QStringList args);
int runZip(QStringList args);
int runCheck(QStringList args);
