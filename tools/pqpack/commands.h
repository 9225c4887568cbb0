// The pqpack subcommands. Each takes the arguments after its name and returns the exit
// status; messages go to standard error, listings to standard output.
#pragma once

#include <string>
#include <vector>

using Args = std::vector<std::string>;

int commandExplode(const Args& args);  // explode IN OUT
int commandImplode(const Args& args);  // implode [--ascii] [--dict N] [--level fast|best] IN OUT
int commandBuild(const Args& args);    // build -o OUT [...] MAIN DATA [LIB [LIB]]
int commandList(const Args& args);     // list INSTALLER
int commandVerify(const Args& args);   // verify INSTALLER
int commandExtract(const Args& args);  // extract INSTALLER DIR
int commandSsd(const Args& args);      // ssd --quicktime-level N CONTENT OUT
