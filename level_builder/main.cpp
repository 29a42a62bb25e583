// quarn: builds the two CPC memory bank files of one level.
// quarn levelname [pattern_option]
#include "common/image_io/picture_file.h"
#include "common/line_output.h"
#include "common/number_text.h"
#include "level_builder/build_level.h"
#include "level_builder/run_log.h"

int main(int argc, char** argv) {
  const ImageLibrary image_library(ImageDiagnostics::kSilent);
  if (argc == 2) {
    BuildLevel(argv[1], 0);
  } else if (argc == 3) {
    BuildLevel(argv[1], ParseNumberArgument(argv[2]));
  } else {
    PrintLine("Usage : quarn levelname pattern_option(0/2)");
  }
  LogLine(kEndMarker);
  return 0;
}
