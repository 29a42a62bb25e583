// quarn: builds the two CPC memory bank files of one level.
// quarn levelname [pattern_option]
#include <FreeImage.h>

#include "common/file_lock.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "common/stop_signals.h"
#include "level_builder/build_level.h"
#include "level_builder/run_log.h"

int main(int argc, char** argv) {
  SetTemporaryFilePrefix("quarn");
  RemoveTemporaryFilesOnSignals();
  // Runs in one folder take turns: each reads the level's pictures and
  // pattern folders and writes its banks and the run log there.
  const TargetLock lock(kRunLogPath);
  FreeImage_Initialise(FALSE);
  if (argc == 2) {
    BuildLevel(argv[1], 0);
  } else if (argc == 3) {
    BuildLevel(argv[1], ParseNumberArgument(argv[2]));
  } else {
    PrintLine("Usage : quarn levelname pattern_option(0/2)");
  }
  CloseRunLog();
  FreeImage_DeInitialise();
  return 0;
}
