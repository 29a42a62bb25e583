// What a run stopped by Ctrl-C, SIGTERM or SIGHUP must undo: the temporary
// files it was writing (nothing else ever removes them: a later run cannot
// tell a dead run's file from a live one's) and a group of targets it was
// replacing half way. The registry is read by the signal handler, so it is a
// fixed table of plain pointers that the handler only reads.
#pragma once

#include <signal.h>

// Installs the handler for SIGINT, SIGTERM and SIGHUP (one the caller's parent
// ignores, as nohup does, stays ignored). The handler removes the registered
// temporary files, puts registered targets back, then lets the signal end the
// run as it would have.
void RemoveTemporaryFilesOnSignals();

// Signals held back for the life of the object: a registry change and the
// file operation it describes happen as one for the handler.
class StopSignalBlock {
 public:
  StopSignalBlock();
  ~StopSignalBlock();
  StopSignalBlock(const StopSignalBlock&) = delete;
  StopSignalBlock& operator=(const StopSignalBlock&) = delete;

 private:
  sigset_t previous_;
};

// Registers path (kept alive by the caller until Unregister) as a temporary
// file to remove. Returns the entry, or -1 when the table is full (the file is
// then left behind by a stopped run, as before).
int RegisterTemporaryFile(const char* path);

// Registers a target being replaced: on a stop, backup (the previous file)
// is renamed back over target, or target is removed when backup is null
// (there was no previous file). Returns the entry or -1.
int RegisterTargetRestore(const char* backup, const char* target);

// Forgets an entry (-1 is ignored).
void UnregisterStopEntry(int entry);
