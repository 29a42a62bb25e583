#include "toolkit/image_library.h"

#include <string>

#include "common/line_output.h"
#include "common/number_text.h"

void ImageMessageHandler(FREE_IMAGE_FORMAT format, const char* message) {
  PrintLine("FIF:" + SpacedDecimal(static_cast<int>(format)) + " - MESSAGE:" + (message ? message : ""));
}

void StartImageLibrary() {
  static bool is_started = false;
  if (is_started) return;
  is_started = true;
  FreeImage_Initialise(FALSE);
  FreeImage_SetOutputMessage(ImageMessageHandler);
}
